// Checks the built installer executable itself: its dialog templates and
// strings as compiled (the resource compiler adds style bits of its own to
// some statements), its icon, manifest and imports, and that the engine's
// scan of the file meets the carried archive first. Skipped when the
// Windows build has not been made.
#include <iconv.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/lzh_extractor.h"
#include "tests/installer/pe_resources.h"

namespace {

const uint32_t kJapanese = 0x0411;
const uint32_t RT_ICON_ = 3, RT_DIALOG_ = 5, RT_STRING_ = 6, RT_GROUP_ICON_ = 14,
               RT_MANIFEST_ = 24;

// Style bits, spelled here rather than taken from a Windows header.
const uint32_t WS_POPUP_ = 0x80000000, WS_CHILD_ = 0x40000000, WS_VISIBLE_ = 0x10000000,
               WS_CAPTION_ = 0x00C00000, WS_BORDER_ = 0x00800000, WS_SYSMENU_ = 0x00080000,
               WS_GROUP_ = 0x00020000, WS_TABSTOP_ = 0x00010000, DS_MODALFRAME_ = 0x80,
               DS_CENTER_ = 0x800, DS_SETFONT_ = 0x40, SS_LEFT_ = 0, SS_CENTER_ = 1,
               SS_ICON_ = 3, SS_NOPREFIX_ = 0x80, SS_CENTERIMAGE_ = 0x200,
               SS_SUNKEN_ = 0x1000, BS_PUSHBUTTON_ = 0, BS_DEFPUSHBUTTON_ = 1,
               BS_AUTOCHECKBOX_ = 3, ES_LEFT_ = 0, ES_AUTOHSCROLL_ = 0x80;
const uint32_t kChild = WS_CHILD_ | WS_VISIBLE_;
const uint16_t BUTTON = 0x80, EDIT = 0x81, STATIC = 0x82, PROGRESS = 0;

std::u16string Utf16(const char* utf8) {
    std::u16string out;
    const unsigned char* p = (const unsigned char*)utf8;
    while (*p) {
        uint32_t c;
        if (*p < 0x80) {
            c = *p++;
        } else if ((*p & 0xE0) == 0xC0) {
            c = (*p++ & 0x1Fu) << 6;
            c |= *p++ & 0x3Fu;
        } else {
            c = (*p++ & 0x0Fu) << 12;
            c |= (*p++ & 0x3Fu) << 6;
            c |= *p++ & 0x3Fu;
        }
        out += (char16_t)c;
    }
    return out;
}

// Byte length of a UTF-16 text in code page 932; -1 if it has no such form.
int Cp932Length(const std::u16string& text) {
    iconv_t cd = iconv_open("CP932", "UTF-16LE");
    if (cd == (iconv_t)-1) return -1;
    std::string in;
    for (char16_t c : text) {
        in += (char)(c & 0xFF);
        in += (char)(c >> 8);
    }
    std::vector<char> out(in.size() * 2 + 4);
    char* src = &in[0];
    char* dst = out.data();
    size_t inLeft = in.size(), outLeft = out.size();
    size_t r = iconv(cd, &src, &inLeft, &dst, &outLeft);
    iconv_close(cd);
    return r == (size_t)-1 ? -1 : (int)(out.size() - outLeft);
}

class Setup : public ::testing::Test {
protected:
    void SetUp() override {
        const char* path = getenv("QUORVALINEX_SETUP_EXE");
        if (path == nullptr || !std::ifstream(path)) GTEST_SKIP() << "no Windows build";
        m_path = path;
        std::string error;
        ASSERT_TRUE(m_pe.Load(m_path, &error)) << error;
    }

    // A resource's bytes; fails the test when it is missing.
    std::vector<uint8_t> Data(const PeResource* r) {
        if (r == nullptr) return {};
        const uint8_t* begin = m_pe.Bytes().data() + r->fileOffset;
        return std::vector<uint8_t>(begin, begin + r->size);
    }

    std::string m_path;
    PeFile m_pe;
};

// Sequential reader of a classic dialog template.
class TemplateReader {
public:
    explicit TemplateReader(const std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
    bool ok() const { return m_ok; }
    uint16_t Word() {
        if (m_at + 2 > m_bytes.size()) {
            m_ok = false;
            return 0;
        }
        uint16_t v = (uint16_t)(m_bytes[m_at] | m_bytes[m_at + 1] << 8);
        m_at += 2;
        return v;
    }
    uint32_t Dword() {
        uint32_t low = Word();
        return low | (uint32_t)Word() << 16;
    }
    std::u16string Text() {
        std::u16string s;
        while (m_ok) {
            uint16_t c = Word();
            if (c == 0) break;
            s += (char16_t)c;
        }
        return s;
    }
    // An ordinal (0xFFFF then a number) is returned as u"#<number>".
    std::u16string TextOrOrdinal() {
        size_t mark = m_at;
        if (Word() == 0xFFFF) {
            std::string n = "#" + std::to_string(Word());
            return std::u16string(n.begin(), n.end());
        }
        m_at = mark;
        return Text();
    }
    void AlignDword() { m_at = (m_at + 3) & ~(size_t)3; }
    bool AtEnd() const { return m_at >= m_bytes.size(); }

private:
    const std::vector<uint8_t>& m_bytes;
    size_t m_at = 0;
    bool m_ok = true;
};

struct Control {
    int id;
    uint16_t classOrdinal;  // 0: the class is the progress bar, by name
    const char* text;       // "#201": an ordinal (the icon)
    int x, y, cx, cy;
    uint32_t style;
};

struct Dialog {
    int id;
    int cx, cy;
    std::vector<Control> controls;
};

const Dialog kDialogs[] = {
    {101, 134, 119,
     {{-1, STATIC, "#201", 10, 10, 20, 20, kChild | SS_ICON_},
      {-1, STATIC, "処理を選択して下さい", 35, 15, 80, 10,
       kChild | WS_GROUP_ | SS_CENTER_ | SS_CENTERIMAGE_},
      {1001, BUTTON, "‘ReadMe.txt’を見る (&R)", 35, 40, 80, 15,
       kChild | WS_TABSTOP_ | BS_PUSHBUTTON_},
      {1002, BUTTON, "ｲﾝｽﾄｰﾙする (&X)", 35, 65, 80, 15, kChild | WS_TABSTOP_ | BS_PUSHBUTTON_},
      {2, BUTTON, "処理中止", 35, 90, 80, 15, kChild | WS_TABSTOP_ | BS_PUSHBUTTON_}}},
    {102, 199, 93,
     {{-1, STATIC, "以下のﾌｧｲﾙを解凍しています", 10, 10, 180, 8, kChild | WS_GROUP_ | SS_LEFT_},
      {1003, STATIC, "", 10, 25, 180, 8, kChild | WS_GROUP_ | SS_LEFT_ | SS_NOPREFIX_},
      {1004, PROGRESS, "Progress1", 10, 45, 180, 15, kChild | WS_BORDER_},
      {2, BUTTON, "中止", 145, 70, 45, 15, kChild | WS_TABSTOP_ | BS_PUSHBUTTON_}}},
    {103, 239, 109,
     {{1005, STATIC, "", 10, 10, 220, 10, kChild | WS_GROUP_ | SS_LEFT_},
      {1006, EDIT, "", 10, 25, 175, 14,
       kChild | WS_BORDER_ | WS_TABSTOP_ | ES_LEFT_ | ES_AUTOHSCROLL_},
      {1007, BUTTON, "参照(&R)", 190, 25, 40, 15,
       kChild | WS_GROUP_ | WS_TABSTOP_ | BS_PUSHBUTTON_},
      {1008, BUTTON, "ｽﾀｰﾄﾒﾆｭｰにQuorvalinexを追加する(&M)", 15, 50, 210, 10,
       kChild | WS_GROUP_ | WS_TABSTOP_ | BS_AUTOCHECKBOX_},
      {1009, BUTTON, "ﾃﾞｽｸﾄｯﾌﾟにQuorvalinexのｼｮｰﾄｶｯﾄを作成する(&S)", 15, 65, 210, 10,
       kChild | WS_GROUP_ | WS_TABSTOP_ | BS_AUTOCHECKBOX_},
      {1, BUTTON, "OK", 70, 85, 40, 15, kChild | WS_GROUP_ | WS_TABSTOP_ | BS_DEFPUSHBUTTON_},
      {2, BUTTON, "ｷｬﾝｾﾙ", 125, 85, 40, 15, kChild | WS_TABSTOP_ | BS_PUSHBUTTON_}}},
    {104, 169, 93,
     {{-1, STATIC, "しばらくお待ち下さい", 10, 10, 150, 8, kChild | WS_GROUP_ | SS_CENTER_},
      {-1, STATIC, "旧ﾊﾞｰｼﾞｮﾝのQuorvalinexを探しています", 10, 25, 150, 8,
       kChild | WS_GROUP_ | SS_CENTER_},
      {1010, STATIC, "Static", 15, 45, 140, 15,
       kChild | WS_BORDER_ | WS_GROUP_ | SS_CENTER_ | SS_NOPREFIX_ | SS_CENTERIMAGE_ |
           SS_SUNKEN_},
      {2, BUTTON, "中止", 110, 70, 45, 15, kChild | WS_TABSTOP_ | BS_PUSHBUTTON_}}},
};

TEST_F(Setup, DialogTemplatesAreExactlyAsDesigned) {
    for (const Dialog& d : kDialogs) {
        SCOPED_TRACE("dialog " + std::to_string(d.id));
        const PeResource* r = m_pe.Find(RT_DIALOG_, d.id);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->language, kJapanese);
        std::vector<uint8_t> bytes = Data(r);
        ASSERT_GE(bytes.size(), 4u);
        ASSERT_FALSE(bytes[2] == 0xFF && bytes[3] == 0xFF) << "an extended template";
        TemplateReader t(bytes);
        EXPECT_EQ(t.Dword(), WS_POPUP_ | WS_CAPTION_ | WS_SYSMENU_ | DS_MODALFRAME_ |
                                 DS_CENTER_ | DS_SETFONT_);
        EXPECT_EQ(t.Dword(), 0u) << "extended style";
        EXPECT_EQ(t.Word(), d.controls.size());
        EXPECT_EQ(t.Word(), 0);  // x
        EXPECT_EQ(t.Word(), 0);  // y
        EXPECT_EQ(t.Word(), d.cx);
        EXPECT_EQ(t.Word(), d.cy);
        EXPECT_EQ(t.Word(), 0) << "menu";
        EXPECT_EQ(t.Word(), 0) << "class";
        EXPECT_EQ(t.Text(), Utf16("Quorvalinex Ver1.22 ｾｯﾄｱｯﾌﾟ"));
        EXPECT_EQ(t.Word(), 9) << "point size";
        EXPECT_EQ(t.Text(), Utf16("ＭＳ Ｐゴシック"));
        for (const Control& c : d.controls) {
            SCOPED_TRACE("control " + std::to_string(c.id));
            t.AlignDword();
            EXPECT_EQ(t.Dword(), c.style);
            EXPECT_EQ(t.Dword(), 0u) << "extended style";
            EXPECT_EQ(t.Word(), c.x);
            EXPECT_EQ(t.Word(), c.y);
            EXPECT_EQ(t.Word(), c.cx);
            EXPECT_EQ(t.Word(), c.cy);
            EXPECT_EQ(t.Word(), (uint16_t)c.id);
            if (c.classOrdinal != PROGRESS)
                EXPECT_EQ(t.TextOrOrdinal(), u"#" + Utf16(std::to_string(c.classOrdinal).c_str()));
            else  // class names are case-blind; the compiler stores capitals
                EXPECT_EQ(t.TextOrOrdinal(), u"MSCTLS_PROGRESS32");
            EXPECT_EQ(t.TextOrOrdinal(), Utf16(c.text));
            EXPECT_EQ(t.Word(), 0) << "creation data";
        }
        t.AlignDword();
        EXPECT_TRUE(t.ok());
        EXPECT_TRUE(t.AtEnd());
    }
}

struct StringCase {
    int id;
    const char* text;
};

const StringCase kStrings[] = {
    {2001, "Quorvalinex Ver1.22 ｾｯﾄｱｯﾌﾟ"},
    {2002, "ﾌｫﾙﾀﾞを選択して下さい"},
    {2003, "Program Files\\Quorvalinex"},
    {2004, "Quorvalinex"},
    {2005, "Quorvalinexへのｼｮｰﾄｶｯﾄ"},
    {2006, "‘Readme.txt’を解凍するﾌｫﾙﾀﾞを指定して下さい(&F)"},
    {2007, "Quorvalinexをｲﾝｽﾄｰﾙするﾌｫﾙﾀﾞを指定して下さい(&F)"},
    {2008, "ｲﾝｽﾄｰﾙ済みのQuorvalinexを探しますか？\n（ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞを自分で入力する場合は「いいえ」"
           "を選択して下さい）"},
    {2009, "このﾌｫﾙﾀﾞは存在しません。\n作成しますか？"},
    {2010, "このﾌｫﾙﾀﾞには既に‘Readme.txt’が存在します。\n上書きしますか？"},
    {2011, "このﾌｫﾙﾀﾞにQuorvalinexが既にｲﾝｽﾄｰﾙされています。\n上書きｲﾝｽﾄｰﾙしますか？\n\n（ｽﾀｰﾄ"
           "ﾒﾆｭｰへの登録、ﾃﾞｽｸﾄｯﾌﾟへのｼｮｰﾄｶｯﾄの\n追加を行なう場合は「いいえ」を選択して下さい）"},
    {2012, "ｲﾝｽﾄｰﾙは完了しました。\n今すぐQuorvalinexを起動しますか？"},
    {2013, "ﾌｫﾙﾀﾞを作成できません"},
    {2014, "ﾌｧｲﾙを作成できません"},
    {2015, "ﾌｧｲﾙにｱｸｾｽできません"},
    {2016, "ﾌｧｲﾙを解凍できません"},
    {2017, "ﾊﾟｽ名が無効です"},
};

// String tables hold 16 counted strings per block; block b has ids
// 16(b-1) to 16(b-1)+15.
std::vector<std::u16string> StringBlock(const std::vector<uint8_t>& bytes) {
    std::vector<std::u16string> out;
    size_t at = 0;
    for (int i = 0; i < 16 && at + 2 <= bytes.size(); ++i) {
        size_t n = bytes[at] | bytes[at + 1] << 8;
        at += 2;
        std::u16string s;
        for (size_t k = 0; k < n && at + 2 <= bytes.size(); ++k, at += 2)
            s += (char16_t)(bytes[at] | bytes[at + 1] << 8);
        out.push_back(s);
    }
    return out;
}

TEST_F(Setup, StringTableHoldsExactlyTheMessages) {
    std::vector<std::u16string> all(2048);
    for (const PeResource& r : m_pe.Resources()) {
        if (!r.typeName.empty() || r.typeId != RT_STRING_) continue;
        EXPECT_EQ(r.language, kJapanese);
        std::vector<std::u16string> block = StringBlock(Data(&r));
        for (size_t i = 0; i < block.size(); ++i) {
            uint32_t id = (r.id - 1) * 16 + (uint32_t)i;
            ASSERT_LT(id, all.size());
            all[id] = block[i];
        }
    }
    for (const StringCase& s : kStrings) EXPECT_EQ(all[s.id], Utf16(s.text)) << s.id;
    EXPECT_TRUE(all[2000].empty());
    for (size_t id = 2018; id < all.size(); ++id) EXPECT_TRUE(all[id].empty()) << id;
    // What the program handles are code page 932 bytes.
    EXPECT_EQ(Cp932Length(all[2011]), 161);
    EXPECT_EQ(Cp932Length(all[2001]), 27);
}

TEST_F(Setup, IconGroupHoldsTwoSixteenColourImages) {
    int groups = 0;
    for (const PeResource& r : m_pe.Resources())
        if (r.typeName.empty() && r.typeId == RT_GROUP_ICON_) ++groups;
    EXPECT_EQ(groups, 1) << "the only icon of the file";
    std::vector<uint8_t> group = Data(m_pe.Find(RT_GROUP_ICON_, 201));
    ASSERT_EQ(group.size(), 6u + 2 * 14);
    EXPECT_EQ(group[4], 2);  // two images
    const int sizes[] = {32, 16};
    for (int i = 0; i < 2; ++i) {
        const uint8_t* e = group.data() + 6 + 14 * i;
        EXPECT_EQ(e[0], sizes[i]);
        EXPECT_EQ(e[1], sizes[i]);
        EXPECT_EQ(e[2], 16) << "colours";
        EXPECT_EQ(e[6] | e[7] << 8, 4) << "bits per pixel";
        int iconId = e[12] | e[13] << 8;
        EXPECT_EQ(iconId, i + 1);
        const PeResource* icon = m_pe.Find(RT_ICON_, iconId);
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(icon->language, kJapanese);
    }
}

TEST_F(Setup, ManifestAsksForCommonControlsSixAndHighestRights) {
    int manifests = 0;
    for (const PeResource& r : m_pe.Resources())
        if (r.typeName.empty() && r.typeId == RT_MANIFEST_) ++manifests;
    ASSERT_EQ(manifests, 1);
    ASSERT_NE(m_pe.Find(RT_MANIFEST_, 1), nullptr);
    EXPECT_EQ(m_pe.Find(RT_MANIFEST_, 1)->language, 0u) << "language-neutral";
    std::vector<uint8_t> bytes = Data(m_pe.Find(RT_MANIFEST_, 1));
    std::string text(bytes.begin(), bytes.end());
    const char* needed[] = {
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "requestedExecutionLevel level=\"highestAvailable\"",
        "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>",
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10
    };
    for (const char* n : needed) EXPECT_NE(text.find(n), std::string::npos) << n;
}

// Imported libraries are loaded, with what they import in turn, before
// any code of the installer runs; only core ones may be. shell32, ole32 and
// comctl32 are loaded later, once the DLL search is restricted.
TEST_F(Setup, ImportsOnlyCoreSystemLibraries) {
    const char* system[] = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
                            "msvcrt.dll"};
    ASSERT_FALSE(m_pe.Imports().empty());
    for (std::string name : m_pe.Imports()) {
        for (char& c : name) c = (char)tolower((unsigned char)c);
        bool known = false;
        for (const char* s : system) known = known || name == s;
        EXPECT_TRUE(known) << name;
    }
}

// The engine finds the archive by scanning the file from its start: the
// first position that passes must be the carried archive's first byte.
TEST_F(Setup, ScanFindsTheCarriedArchiveFirst) {
    const PeResource* archive = m_pe.Find(u"ARCHIVES", 301);
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(archive->language, kJapanese);
    CLzhExtractor engine;
    ASSERT_TRUE(engine.OpenArchive(m_path.c_str())) << engine.m_error;
    EXPECT_EQ((uint32_t)engine.m_headerPos, archive->fileOffset);
    engine.Abort();

    const char* payload = getenv("QUORVALINEX_ARCHIVE");
    if (payload == nullptr || !std::ifstream(payload)) return;
    std::ifstream in(payload, std::ios::binary);
    std::vector<uint8_t> expected((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    EXPECT_TRUE(Data(archive) == expected) << "the resource is not the payload archive";
}

}  // namespace
