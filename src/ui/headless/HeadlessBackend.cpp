#include "ui/headless/HeadlessBackend.h"

namespace ui::headless {

void RecordingDialogs::record(DialogKind kind, const std::string& text) {
  DialogRecord rec{kind, text};
  {
    std::lock_guard lock(mutex_);
    records_.push_back(rec);
  }
  if (whileOpen) whileOpen(rec);
}

void RecordingDialogs::message(const std::string& text) { record(DialogKind::Message, text); }

bool RecordingDialogs::confirm(const std::string& text) {
  record(DialogKind::Confirm, text);
  std::lock_guard lock(mutex_);
  if (confirms_.empty()) return false;
  bool ok = confirms_.front();
  confirms_.pop_front();
  return ok;
}

std::optional<std::string> RecordingDialogs::openFile(const std::string& filter,
                                                      const std::string& defaultExtension) {
  {
    std::lock_guard lock(mutex_);
    lastFilter_ = filter;
    lastExtension_ = defaultExtension;
  }
  record(DialogKind::OpenFile, filter);
  std::lock_guard lock(mutex_);
  if (files_.empty()) return std::nullopt;
  auto path = files_.front();
  files_.pop_front();
  return path;
}

void RecordingDialogs::error(const std::string& text) { record(DialogKind::Error, text); }

void RecordingDialogs::answerConfirm(bool ok) {
  std::lock_guard lock(mutex_);
  confirms_.push_back(ok);
}

void RecordingDialogs::answerFile(std::optional<std::string> path) {
  std::lock_guard lock(mutex_);
  files_.push_back(std::move(path));
}

std::vector<DialogRecord> RecordingDialogs::records() const {
  std::lock_guard lock(mutex_);
  return records_;
}

std::vector<std::string> RecordingDialogs::texts(DialogKind kind) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& r : records_)
    if (r.kind == kind) out.push_back(r.text);
  return out;
}

void RecordingDialogs::clear() {
  std::lock_guard lock(mutex_);
  records_.clear();
}

std::string RecordingDialogs::lastFilter() const {
  std::lock_guard lock(mutex_);
  return lastFilter_;
}

std::string RecordingDialogs::lastDefaultExtension() const {
  std::lock_guard lock(mutex_);
  return lastExtension_;
}

void HeadlessBackend::pumpMessages(int waitMs, bool) {
  app().waitForWork(std::chrono::milliseconds(waitMs));
}

Session::Session() {
  auto backend = std::make_unique<HeadlessBackend>();
  backend_ = backend.get();
  app().setBackend(std::move(backend));
  app().setTitle("");
}

Session::~Session() {
  app().runPending();
  app().setMainForm(nullptr);
  app().setBackend(nullptr);
}

}  // namespace ui::headless
