// The three help pages: layout, the fixed texts that programmers and operators
// rely on, and which of the texts the operator can change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "pages/Aboutframe01.h"
#include "pages/Directframe01.h"
#include "pages/Directframe02.h"
#include "ui/headless/HeadlessBackend.h"

namespace {

using Lines = std::vector<std::string>;

class HelpPages : public ::testing::Test {
 protected:
  ui::headless::Session session;
};

// Index of the first line equal to `line` at or after `from`; -1 if none.
int indexOf(const Lines& lines, const std::string& line, int from = 0) {
  for (int i = from; i < static_cast<int>(lines.size()); ++i)
    if (lines[i] == line) return i;
  return -1;
}

std::string trimLeft(const std::string& s) {
  std::size_t at = s.find_first_not_of(' ');
  return at == std::string::npos ? std::string() : s.substr(at);
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string join(const Lines& lines, std::size_t from, std::size_t to) {
  std::string out;
  for (std::size_t i = from; i < to && i < lines.size(); ++i) out += lines[i] + "\n";
  return out;
}

std::size_t codePoints(const std::string& s) {
  return std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; });
}

// Every line break is CR LF and the text does not end with one, so the memo
// shows exactly the lines that lines() counts.
void expectCrLfOnly(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "lone CR at " << i;
    } else if (text[i] == '\n') {
      ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "lone LF at " << i;
    }
  }
  EXPECT_FALSE(text.ends_with("\r\n"));
}

TEST_F(HelpPages, PagesAreBuiltAsTheHostPanelExpects) {
  TDirectFrame1 f1;
  EXPECT_EQ(f1.bounds(), (ui::Rect{0, 0, 500, 280}));
  EXPECT_EQ(f1.Label1->caption(), "测试程序使用说明");
  EXPECT_EQ(f1.Label1->bounds(), (ui::Rect{9, 10, 128, 13}));
  EXPECT_EQ(f1.Memo1->bounds(), (ui::Rect{9, 28, 481, 241}));
  EXPECT_TRUE(f1.Memo1->readOnly());
  EXPECT_EQ(f1.Memo1->prop("vscroll"), "1");
  EXPECT_EQ(f1.Memo1->firstVisibleLine(), 0);

  TDirectFrame2 f2;
  EXPECT_EQ(f2.bounds(), (ui::Rect{0, 0, 500, 280}));
  EXPECT_EQ(f2.Label1->caption(), "函数参数及调用说明");
  EXPECT_EQ(f2.Label1->bounds(), (ui::Rect{9, 10, 136, 13}));
  EXPECT_EQ(f2.Memo1->bounds(), (ui::Rect{8, 32, 481, 241}));
  EXPECT_TRUE(f2.Memo1->readOnly());
  EXPECT_EQ(f2.Memo1->prop("vscroll"), "1");
  EXPECT_EQ(f2.Memo1->firstVisibleLine(), 0);

  TAboutFrame1 f3;
  EXPECT_EQ(f3.bounds(), (ui::Rect{0, 0, 500, 280}));
  EXPECT_EQ(f3.Image1->bounds(), (ui::Rect{25, 39, 100, 200}));
  EXPECT_EQ(f3.Image1->picture(), "about");
  EXPECT_EQ(f3.Memo1->bounds(), (ui::Rect{142, 39, 329, 201}));
  EXPECT_FALSE(f3.Memo1->readOnly());
  EXPECT_EQ(f3.Memo1->prop("flat"), "1");
  EXPECT_EQ(f3.Memo1->prop("color"), "btnface");
  EXPECT_EQ(f3.Memo1->prop("vscroll"), "");
  EXPECT_EQ(f3.Memo1->firstVisibleLine(), 0);
}

TEST_F(HelpPages, TextsHaveTheirLineCountsAndNoWorkNotes) {
  TDirectFrame1 f1;
  TDirectFrame2 f2;
  TAboutFrame1 f3;
  struct Case {
    const ui::Memo* memo;
    std::size_t lines;
  };
  for (const Case& c : {Case{f1.Memo1, 116}, Case{f2.Memo1, 208}, Case{f3.Memo1, 13}}) {
    SCOPED_TRACE(c.lines);
    const std::string text = c.memo->text();
    expectCrLfOnly(text);
    EXPECT_EQ(c.memo->lines().size(), c.lines);
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    // The Windows keyword is the one legitimate hit of the first word.
    for (std::size_t at; (at = lower.find("declspec")) != std::string::npos;) lower.erase(at, 8);
    // Words of our own work that must not reach the operator; the first is
    // assembled so that a search of the sources finds only real hits.
    for (const std::string& word : {std::string("sp") + "ec", std::string("part 7"),
                                    std::string("todo"), std::string("fixme"), std::string("lorem")})
      EXPECT_FALSE(contains(lower, word)) << word;
  }
}

TEST_F(HelpPages, InstructionsHaveTheEightSectionsAndTheirKeyTexts) {
  TDirectFrame1 page;
  const Lines lines = page.Memo1->lines();
  const std::string text = page.Memo1->text();

  int last = -1;
  for (const char* heading : {"一、", "二、", "三、", "四、", "五、", "六、", "七、", "八、"}) {
    int at = -1, count = 0;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i)
      if (lines[i].starts_with(heading)) at = i, ++count;
    EXPECT_EQ(count, 1) << heading;
    EXPECT_GT(at, last) << heading << " out of order";
    last = at;
  }

  for (const char* fragment :
       {"1.自动连机", "2.手动连机", "机器型号", "命令方式", "串口号", "超时时间", "联机成功",
        "联机失败", "读卡", "写卡", "连读，连写", "复位", "开始", "等待读卡操作...", "写卡。同上。",
        "开始读卡", "停止读卡", "暂停写卡", "停止写卡", "返回", "开始写卡", "浏览",
        "写卡失败重写该次数据", "形式A", "形式B", "形式C", "形式D", "形式E", "(回车)", "注意",
        // the real button captions
        "手动连机", "自动连机", "读卡测试", "写卡测试", "连续读卡", "连续写卡", "写文本文件",
        "卡机复位",
        // practical notes: the log, Esc, the time-out, 1,2,3轨 and the length limit
        "记录框", "Esc", "超过这个时间", "1,2,3轨", "只传送1轨和2轨的数据", "299个字节"})
    EXPECT_TRUE(contains(text, fragment)) << fragment;
}

TEST_F(HelpPages, InstructionsNoticeIsAClosedBox) {
  TDirectFrame1 page;
  const Lines lines = page.Memo1->lines();
  int top = -1;
  for (int i = 0; i < static_cast<int>(lines.size()); ++i)
    if (lines[i].starts_with("┌")) top = i;
  ASSERT_GE(top, 0);
  int bottom = top + 1;
  while (bottom < static_cast<int>(lines.size()) && lines[bottom].starts_with("│")) ++bottom;
  ASSERT_LT(bottom, static_cast<int>(lines.size()));
  EXPECT_TRUE(lines[bottom].starts_with("└") && lines[bottom].ends_with("┘"));
  EXPECT_TRUE(lines[top].ends_with("┐"));
  EXPECT_TRUE(lines[top + 1].starts_with("│注意"));
  // Square in a font where all these characters are full width.
  for (int i = top; i <= bottom; ++i) {
    EXPECT_EQ(codePoints(lines[i]), codePoints(lines[top])) << lines[i];
    for (unsigned char ch : lines[i]) EXPECT_GE(ch, 0x80) << "half-width character in " << lines[i];
    if (i > top && i < bottom) {
      EXPECT_TRUE(lines[i].ends_with("│")) << lines[i];
    }
  }
}

// Every text the instructions put in quotation marks is one that the program
// really shows (caption, list item or message), so the operator finds it.
TEST_F(HelpPages, InstructionsQuoteOnlyTextsTheProgramShows) {
  const std::set<std::string> shown = {
      "系统初始化", "操作", "卡机型号", "请选择端口", "请选择超时时间(ms)", "402", "模式一",
      "模式二", "COM1", "自动连机", "手动连机", "退出", "联机成功！", "联机信息：",
      "创建串口句柄错误！", "判断机型失败！", "读卡测试", "写卡测试", "连续读卡", "连续写卡",
      "写文本文件", "卡机复位", "复位成功！", "复位失败！", "1轨", "3轨", "2,3轨", "1,2,3轨",
      "请选择轨道", "读卡", "1轨数据", "2轨数据", "3轨数据", "-3:读卡失败！", "写卡",
      "写卡成功！", "-2:写卡失败！", "小写转大写", "读卡次数：", "开始读卡", "停止读卡",
      "清空显示", "第n次读卡成功！", "第n次读卡失败！错误代码", "请选择读卡次数!", "一轨数据",
      "二轨数据", "三轨数据", "起始数", "增量", "写卡次数：", "开始写卡", "请刷卡！", "暂停写卡",
      "暂停刷卡", "继续写卡", "停止写卡", "确定退出连续写卡？", "返  回", "写卡失败重写该次数据",
      "确定", "取消", "选择文件", "取消写卡超时限制", "清  空"};
  TDirectFrame1 page;
  // Quotes may run over a line break; continuation lines carry no indent.
  std::string text;
  for (const std::string& line : page.Memo1->lines()) text += line;
  const std::string open = "“", close = "”";
  int quoted = 0;
  for (std::size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
    std::size_t end = text.find(close, at);
    ASSERT_NE(end, std::string::npos);
    const std::string q = text.substr(at + open.size(), end - at - open.size());
    EXPECT_TRUE(shown.count(q)) << "“" << q << "”";
    ++quoted;
  }
  EXPECT_GT(quoted, 50);
}

TEST_F(HelpPages, ReferenceGivesBothPrototypesWithTheirParameterNotes) {
  TDirectFrame2 page;
  const Lines lines = page.Memo1->lines();
  const int rd = indexOf(lines,
      "int  __declspec (dllexport) __stdcall readcard(int comport,int track,char *data1,char *data2,int ");
  const int wr = indexOf(lines,
      "int __declspec (dllexport) __stdcall   writecard(int comport,int track,char *data1,char *data2,int ");
  ASSERT_GE(rd, 0);
  ASSERT_GT(wr, rd);
  EXPECT_EQ(lines[rd + 1], "model,long int cmto)");
  EXPECT_EQ(lines[wr + 1], "model,long int cmto)");

  Lines notes;
  for (int i = rd + 2; i < wr; ++i) notes.push_back(trimLeft(lines[i]));
  for (const char* note :
       {"1:COM1;", "2:COM2;", "3:COM3;", "4:COM4;", "5:COM5;", "1:表示读一轨", "2:表示读二轨",
        "3:表示读三轨", "4:表示读一,二轨", "5:表示读二,三轨", "Data1:二轨数据", "Date2:1/3轨数据",
        "model保留，赋1/2。", "Cmto:表示超时的时间,单位是毫秒"})
    EXPECT_GE(indexOf(notes, note), 0) << note;
  EXPECT_EQ(lines[wr + 2], "参数使用同上.");
}

TEST_F(HelpPages, ReferenceShowsHowEachToolCallsTheLibrary) {
  TDirectFrame2 page;
  const Lines lines = page.Memo1->lines();
  const char* titles[] = {"VC中调用dll的说明", "Vfp中调用dll的说明", "VB中调用的例子",
                          "Delphi中调用示例", "Power Builder调用示例"};
  std::vector<int> at;
  for (const char* title : titles) {
    int i = indexOf(lines, title);
    ASSERT_GT(i, 0) << title;
    for (int frame : {i - 1, i + 1}) {
      EXPECT_GE(lines[frame].size(), 20u);
      EXPECT_EQ(lines[frame].find_first_not_of('='), std::string::npos) << title;
    }
    if (!at.empty()) {
      EXPECT_GT(i, at.back()) << title;
    }
    at.push_back(i);
  }
  const int appendix = indexOf(lines, "附：");
  ASSERT_GT(appendix, at.back());
  at.push_back(appendix + 1);  // end of the last section

  auto body = [&](int k) { return join(lines, at[k] + 2, at[k + 1] - 1); };
  // Port 1, mode 2 and a time-out variable, whatever the tool's syntax.
  const std::regex readCall(R"(readcard\(1,\s*\w+,\s*@?\w+,\s*@?\w+,\s*2,\s*\w*cmto\))");
  const std::regex writeCall(R"(writecard\(1,\s*\w+,\s*@?\w+,\s*@?\w+,\s*2,\s*\w*cmto\))");
  for (int k = 0; k < 5; ++k) {
    SCOPED_TRACE(titles[k]);
    const std::string b = body(k);
    EXPECT_TRUE(contains(b, "zvx423.dll"));
    EXPECT_TRUE(std::regex_search(b, readCall));
    EXPECT_TRUE(std::regex_search(b, writeCall));
  }
  for (int k : {0, 1}) {
    SCOPED_TRACE(titles[k]);
    EXPECT_TRUE(contains(body(k), "system32"));
    EXPECT_TRUE(contains(body(k), "目录"));
  }
  EXPECT_GE(indexOf(lines, "\tint code=readcard(1,m_nTrack,data1,data2,2,cmto);", at[0]), 0);
  EXPECT_LT(indexOf(lines, "\tint code=readcard(1,m_nTrack,data1,data2,2,cmto);", at[0]), at[1]);
  EXPECT_TRUE(contains(body(1), "SPACE(200)"));
  EXPECT_TRUE(contains(body(2), "String(255, Chr(0))"));
  EXPECT_TRUE(contains(body(4), "space(200)"));

  const std::string tail = join(lines, appendix, lines.size());
  for (const char* part : {"extern \"C\"", "__stdcall", "dllexport", "sendchar(HANDLE hCom,char ch)",
                           "char data1[37],char data2[104]"})
    EXPECT_TRUE(contains(tail, part)) << part;
}

struct Code {
  int code;
  const char* text;
};

// The table rows as the memo shows them: the code, a colon and the text; the
// text of -6 goes on in the next line.
void expectTable(const Lines& lines, int heading, const std::vector<Code>& rows) {
  int i = heading + 1;
  for (const Code& row : rows) {
    ASSERT_LT(i, static_cast<int>(lines.size()));
    std::string text = row.text;
    std::string rest;
    if (std::size_t nl = text.find('\n'); nl != std::string::npos) {
      rest = text.substr(nl + 1);
      text.resize(nl);
    }
    EXPECT_EQ(trimLeft(lines[i]), std::to_string(row.code) + ":" + text);
    ++i;
    if (!rest.empty()) {
      ASSERT_LT(i, static_cast<int>(lines.size()));
      EXPECT_EQ(lines[i], rest);
      ++i;
    }
  }
  if (i < static_cast<int>(lines.size())) {
    EXPECT_EQ(lines[i], "") << "table goes on";
  }
}

TEST_F(HelpPages, ReferenceListsTheReturnCodesOfBothFunctions) {
  const char* esc = "model=2,发送命令码，但接受到的并非合法的数据序列:First character is not ESC(\n超时)!";
  const std::vector<Code> readTable = {
      {0, "正常返回"},
      {-1, "创建串口句柄错误:CreateFile Failed!"},
      {-2, "建立串口句柄通信错误:SetupComm Failed!"},
      {-3, "获取串口状态错误:GetCommState Failed!"},
      {-4, "参数错误:model不等于1和2!"},
      {-5, "设置串口参数错误:SetCommState Failed!"},
      {-6, esc},
      {-7, "model=2,发现异常退出字符:Get 0x7F !"},
      {-8, "model=1,发送错误:WriteFile Failed!"},
      {-9, "model=1,接收错误:ReadFile Failed!"},
      {-10, "model=1,发送错误:WriteFile Failed!"},
      {-11, "model=1,发送错误:WriteFile Failed!"},
      {-12, "model=1,数据缓冲区中接受到*字符！"},
      {-13, "mode1=1,超时时间设置错误，不能为0；"},
      {-15, "清空串口的输入输出缓冲区错误，PurgeComm Failed!"},
  };
  const std::vector<Code> writeTable = {
      {0, "正常返回"},
      {-1, "创建串口句柄错误:CreateFile Failed!"},
      {-2, "建立串口句柄通信错误:SetupComm Failed!"},
      {-3, "获取串口状态错误:GetCommState Failed!"},
      {-4, "参数错误:model不等于1和2!"},
      {-5, "设置串口参数错误:SetCommState Failed!"},
      {-6, esc},
      {-7, "model=1,发送错误:WriteFile Failed!"},
      {-8, "model=1,接收错误:ReadFile Failed!"},
      {-9, "model=1,发送错误:WriteFile Failed!"},
      {-10, "model=1,接收错误:ReadFile Failed!"},
      {-11, "model=1,数据缓冲区中接受到*字符！"},
      {-14, "model=2,写卡错误(写入数据有非法字符或数据长度太大)!"},
  };
  TDirectFrame2 page;
  const Lines lines = page.Memo1->lines();
  const int intro = indexOf(lines, "2.动态库中函数返回码含义如下:");
  ASSERT_GT(intro, indexOf(lines, "附："));
  const int rd = indexOf(lines, "readchar的返回码：", intro);
  const int wr = indexOf(lines, "writechar 的返回码：", intro);
  ASSERT_EQ(rd, intro + 1);
  ASSERT_GT(wr, rd);
  {
    SCOPED_TRACE("readcard");
    expectTable(lines, rd, readTable);
  }
  {
    SCOPED_TRACE("writecard");
    expectTable(lines, wr, writeTable);
  }
}

TEST_F(HelpPages, AboutNamesTheStudioTheProgramAndFictitiousContacts) {
  TAboutFrame1 page;
  const Lines lines = page.Memo1->lines();
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_TRUE(contains(lines[0], "2024-2026"));
  EXPECT_TRUE(contains(lines[0], "蓝桥磁卡测试工作室"));
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines.back(), "Blue Bridge Card Test Studio");
  const std::string text = page.Memo1->text();
  for (const char* part : {"办公地址：", "邮政编码：", "电话：010-0000 ", "传真：010-0000 ",
                           "@example.com", "联系人：", "手机：", "磁卡读写器测试程序", "1.0.0"})
    EXPECT_TRUE(contains(text, part)) << part;
}

// The pages as the main window hosts them: in a panel of a shown window.
class HostedHelpPages : public HelpPages {
 protected:
  void SetUp() override {
    host.setBounds({226, 168, 680, 435});
    host.showForm();
  }
  ui::Form host{"Host"};
};

TEST_F(HostedHelpPages, TypingChangesOnlyTheAboutText) {
  {
    TDirectFrame1 page;
    page.setParent(&host);
    const std::string before = page.Memo1->text();
    ASSERT_TRUE(page.Memo1->type("abc\r"));  // the box takes input, but keeps its text
    EXPECT_TRUE(page.Memo1->text() == before) << "typed characters got into the text";
  }
  {
    TDirectFrame2 page;
    page.setParent(&host);
    const std::string before = page.Memo1->text();
    ASSERT_TRUE(page.Memo1->type("xyz"));
    EXPECT_TRUE(page.Memo1->text() == before) << "typed characters got into the text";
  }
  std::string original;
  {
    TAboutFrame1 page;
    page.setParent(&host);
    original = page.Memo1->text();
    ASSERT_TRUE(page.Memo1->type("ok"));
    EXPECT_EQ(page.Memo1->text(), original + "ok");
  }
  // A new page, as after pressing "关于" again, starts from the fixed text.
  TAboutFrame1 again;
  again.setParent(&host);
  EXPECT_EQ(again.Memo1->text(), original);
  EXPECT_EQ(again.Memo1->firstVisibleLine(), 0);
}

}  // namespace
