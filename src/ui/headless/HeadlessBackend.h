#pragma once
// A backend without windows: components keep their own state, dialogs are
// recorded, and confirmations and file choices are answered from queues that
// a test fills.
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ui/Application.h"
#include "ui/Control.h"

namespace ui::headless {

struct DialogRecord {
  DialogKind kind;
  std::string text;
  bool operator==(const DialogRecord&) const = default;
};

class RecordingDialogs : public Dialogs {
 public:
  void message(const std::string& text) override;
  bool confirm(const std::string& text) override;
  std::optional<std::string> openFile(const std::string& filter,
                                      const std::string& defaultExtension) override;
  void error(const std::string& text) override;

  // Answers for the next confirmations (true = OK); without one, Cancel.
  void answerConfirm(bool ok);
  // Answers for the next file dialogs; without one, cancelled.
  void answerFile(std::optional<std::string> path);

  std::vector<DialogRecord> records() const;
  std::vector<std::string> texts(DialogKind kind) const;
  void clear();
  // The filter and extension that the last file dialog was opened with.
  std::string lastFilter() const;
  std::string lastDefaultExtension() const;

  // Runs while a dialog is "open", after it is recorded: a test can act as if
  // something happened behind the modal box (a worker report, a stop).
  std::function<void(const DialogRecord&)> whileOpen;

 private:
  void record(DialogKind kind, const std::string& text);
  mutable std::mutex mutex_;
  std::vector<DialogRecord> records_;
  std::deque<bool> confirms_;
  std::deque<std::optional<std::string>> files_;
  std::string lastFilter_, lastExtension_;
};

class HeadlessBackend : public Backend {
 public:
  std::unique_ptr<Peer> createPeer(Control&) override { return nullptr; }
  Dialogs& dialogs() override { return dialogs_; }
  RecordingDialogs& recording() { return dialogs_; }
  void wake() override {}
  void pumpMessages(int waitMs, bool input) override;

 private:
  RecordingDialogs dialogs_;
};

// Installs a headless backend for its lifetime (one per test).
class Session {
 public:
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  RecordingDialogs& dialogs() { return backend_->recording(); }

 private:
  HeadlessBackend* backend_;
};

}  // namespace ui::headless
