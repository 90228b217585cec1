#include "CardOracle.h"

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "EmulatorClient.h"

namespace oracle {

std::optional<std::int32_t> toInt(const std::string& s) {
  const std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::nullopt;
  const std::size_t e = s.find_last_not_of(" \t");
  const std::string t = s.substr(b, e - b + 1);
  std::size_t i = 0;
  bool neg = false;
  if (t[0] == '+' || t[0] == '-') {
    neg = t[0] == '-';
    i = 1;
  }
  if (i >= t.size() || t.size() - i > 11) return std::nullopt;
  long long v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return std::nullopt;
    v = v * 10 + (t[i] - '0');
  }
  if (neg) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(v);
}

using emu::logged;

std::optional<WriteLine> parseWrite(const std::string& line) {
  if (line.rfind("writecard(", 0) != 0) return std::nullopt;
  WriteLine w;
  std::size_t p = 10;
  auto number = [&](char stop) {
    const std::size_t q = line.find(stop, p);
    const int v = std::atoi(line.substr(p, q - p).c_str());
    p = q + 1;
    return v;
  };
  auto text = [&] {
    const std::size_t q = line.find('"', p + 1);
    std::string s = line.substr(p, q - p + 1);
    p = q + 2;
    return s;
  };
  w.port = number(',');
  w.selection = number(',');
  w.a = text();
  w.b = text();
  w.mode = number(',');
  w.timeout = number(')');
  w.result = std::atoi(line.substr(p + 1).c_str());
  return w;
}

std::vector<std::string> linesOf(const std::string& bytes) {
  std::vector<std::string> out;
  std::string line;
  bool open = false;  // a line has begun that no line end has closed
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c != '\r' && c != '\n') {
      line += c;
      open = true;
      continue;
    }
    out.push_back(line);
    line.clear();
    open = false;
    if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
  }
  if (open) out.push_back(line);
  return out;
}

int zeroByteLine(const std::string& bytes) {
  const std::size_t zero = bytes.find('\0');
  if (zero == std::string::npos) return 0;
  return static_cast<int>(linesOf(bytes.substr(0, zero) + "x").size());
}

std::string zeroByteMessage(int line) {
  return "文件第" + std::to_string(line) + "行含有零字节，未写任何卡！请将文件另存为纯文本（ANSI）格式后再试。";
}

std::string entryOf(const std::string& line) { return line.substr(0, line.find('(')); }

std::optional<std::string> afterClose(const std::vector<std::string>& lines, int inFlight) {
  int transfers = 0;
  for (const std::string& line : lines) {
    const std::string entry = entryOf(line);
    if (entry == "endcard") continue;
    if ((entry == "readcard" || entry == "writecard") && ++transfers <= inFlight) continue;
    return "a card call after the window was asked to close: " + line +
           (transfers > 0 ? " (" + std::to_string(inFlight) + " call(s) were under way)" : "");
  }
  return std::nullopt;
}

namespace {

// UTF-16 LE of ASCII text.
std::string utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

FileCase made(const char* name, std::string bytes) {
  const int zero = zeroByteLine(bytes);
  std::vector<std::string> lines = zero ? std::vector<std::string>{} : linesOf(bytes);
  return {name, std::move(bytes), std::move(lines), zero};
}

}  // namespace

std::vector<FileCase> fileCases() {
  const std::string longLine(400, '5');
  using namespace std::string_literals;
  return {
      // Zero bytes: UTF-16 with and without its byte-order mark, one in a
      // later line after every kind of line end, one after the last line end.
      made("utf16.txt", utf16("11\r\n22\r\n")),
      made("utf16bom.txt", "\xFF\xFE" + utf16("33\r\n44")),
      made("zero4.txt", "11\r\n22\r33\n4\0" "4\n55"s),
      made("zerolfcr.txt", "1\n\r\0" "2"s),
      made("zeroend.txt", "12\r\n34\r\n\0"s),
      // Bytes that go to the card as they stand: a UTF-8 byte-order mark,
      // LF CR, lone CRs, mixed ends.
      made("utf8bom.txt", "\xEF\xBB\xBF" "12\r\n34\r\n"),
      made("lfcr.txt", "1\n\r2\n\r"),
      made("cr.txt", "5\r6\r7\r"),
      made("ends.txt", "8\r\n\n\r\r9\n"),
      {"good.txt", "B1111^A\r\n2222=33\r\n3333\r\n4444\r\n",
       std::vector<std::string>{"B1111^A", "2222=33", "3333", "4444"}},
      {"empty.txt", "", std::vector<std::string>{}},
      {"odd.txt", "11\n22\n33", std::vector<std::string>{"11", "22", "33"}},
      {"long.txt", "12\r\n" + longLine + "\r\n", std::vector<std::string>{"12", longLine}},
      {"missing.txt", "", std::nullopt},
      {"mixed.txt", "A1\r\n\r\n9=9\n;?\r\nZ", std::vector<std::string>{"A1", "", "9=9", ";?", "Z"}},
      {"bad.txt", "lower\r\nx\r\n", std::vector<std::string>{"lower", "x"}},
      {"one.txt", "1234567890", std::vector<std::string>{"1234567890"}},
      // Refused at Start; a run on it would write "2" where the file says more.
      made("zero.txt", std::string("11\r\n2\0" "2\r\n33", 10)),
  };
}

std::optional<std::string> utf8Device(const std::string& text) { return text; }

Card continuousWriteCard(const WriteFields& fields, int selection, int n, const ToDevice& toDevice) {
  std::array<std::string, 3> data;
  const std::vector<int> tracks = selection == 1   ? std::vector<int>{1}
                                  : selection == 2 ? std::vector<int>{2}
                                  : selection == 3 ? std::vector<int>{3}
                                  : selection == 5 ? std::vector<int>{2, 3}
                                                   : std::vector<int>{1, 2};
  for (int t : tracks) {
    const auto i = static_cast<std::size_t>(t - 1);
    const auto s = toInt(fields.start[i]);
    if (!s) return std::nullopt;  // the batch ends without writing
    const auto inc = toInt(fields.step[i]);
    if (!inc) return std::nullopt;
    std::string text = fields.text[i];
    if (*s != 0 || *inc != 0) {
      const std::uint32_t v = static_cast<std::uint32_t>(*s) +
                              static_cast<std::uint32_t>(*inc) * static_cast<std::uint32_t>(n - 1);
      text += std::to_string(static_cast<std::int32_t>(v));
    }
    const auto bytes = toDevice(text);
    if (!bytes || bytes->size() > 299 || bytes->find('\0') != std::string::npos) return std::nullopt;
    data[i] = *bytes;
  }
  // Buffer A carries track 2; B track 1 when chosen, else track 3.
  const std::string a = selection == 2 || selection >= 4 ? data[1] : "";
  const std::string b = selection == 1 || selection == 4 || selection == 6 ? data[0]
                        : selection == 3 || selection == 5             ? data[2]
                                                                       : "";
  return std::make_pair(logged(a), logged(b));
}

Card textFileCard(const std::vector<std::string>& lines, int selection, int n) {
  const bool pairs = selection == 4 || selection == 5;
  const auto i = static_cast<std::size_t>(pairs ? 2 * (n - 1) : n - 1);
  if (i + (pairs ? 1 : 0) >= lines.size()) return std::nullopt;
  switch (selection) {
    case 1:
    case 3: return std::make_pair(logged(""), logged(lines[i]));
    case 2: return std::make_pair(logged(lines[i]), logged(""));
    case 4: return std::make_pair(logged(lines[i + 1]), logged(lines[i]));
    case 5: return std::make_pair(logged(lines[i]), logged(lines[i + 1]));
    default: return std::nullopt;
  }
}

int textFileCards(const std::vector<std::string>& lines, int selection) {
  const bool pairs = selection == 4 || selection == 5;
  return static_cast<int>(pairs ? lines.size() / 2 : lines.size());
}

void Tracker::start(Batch batch) { current_ = std::move(batch); }

void Tracker::stop() {
  if (current_) stopped_ = std::move(current_);
  current_.reset();
}

void Tracker::pageGone() {
  if (current_) current_->rewrite = nullptr;
  if (stopped_) stopped_->rewrite = nullptr;
}

void Tracker::clear() {
  current_.reset();
  stopped_.reset();
}

void Tracker::toggled() {
  // A stopped batch's worker may still be inside its call, its card chosen
  // before the click.
  if (current_) current_->toggled = true;
  if (stopped_) stopped_->toggled = true;
}

std::optional<std::string> Tracker::take(const std::string& line) {
  const auto w = parseWrite(line);
  if (!w) return std::nullopt;
  auto tryBatch = [&](Batch& batch, std::string& why) {
    if (w->selection != batch.selection || w->port != batch.port || w->mode != batch.mode ||
        w->timeout != batch.timeout) {
      why = "call arguments differ from the batch's (selection " + std::to_string(batch.selection) +
            ", port " + std::to_string(batch.port) + ", mode " + std::to_string(batch.mode) +
            ", time-out " + std::to_string(batch.timeout) + ")";
      return false;
    }
    std::set<int> next;
    if (batch.last == 0) {
      next = {1};
    } else if (batch.lastResult == 0) {
      next = {batch.last + 1};
    } else if (batch.lastResult == -100) {
      next = {};
    } else {
      // Without its page the box is unknown: either is allowed.
      const std::optional<bool> rewrite = batch.rewrite ? batch.rewrite() : std::nullopt;
      if (!rewrite || batch.toggled) next = {batch.last, batch.last + 1};
      else next = {*rewrite ? batch.last : batch.last + 1};
    }
    std::string expectedText;
    for (int n : next) {
      if (n > batch.cards) continue;
      const Card want = batch.expected(n);
      if (!want) continue;
      if (want->first == w->a && want->second == w->b) {
        batch.last = n;
        batch.lastResult = w->result;
        batch.toggled = false;
        return true;
      }
      expectedText += " card " + std::to_string(n) + ": A " + want->first + ", B " + want->second + ";";
    }
    why = "after card " + std::to_string(batch.last) + " (result " +
          std::to_string(batch.lastResult) + ") of " + std::to_string(batch.cards) +
          " the batch allows" + (expectedText.empty() ? " no further write" : expectedText);
    return false;
  };
  // The current batch first: a stopped one with the same data must not take
  // the new batch's first card.
  std::string why;
  if (current_ && tryBatch(*current_, why)) return std::nullopt;
  if (stopped_) {
    Batch b = std::move(*stopped_);
    stopped_.reset();  // a stopped batch logs at most the call it was inside
    std::string stoppedWhy;
    if (tryBatch(b, stoppedWhy)) return std::nullopt;
    if (!current_) why = stoppedWhy;
  }
  if (!current_) return why.empty() ? "writecard with no batch running: " + line : line + "\n  " + why;
  return current_->page + ": " + line + "\n  " + why;
}

}  // namespace oracle
