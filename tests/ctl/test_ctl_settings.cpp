// velmoractl settings show / new, run as the real program in a scratch
// working directory.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <memory>
#include <sys/wait.h>

#include "model/SettingsTestSupport.h"

using namespace velmora;
using namespace velmora::test;

namespace {

// Just enough JSON to read back what the program prints; malformed input
// fails the parse (and the test).
struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool b = false;
    double n = 0;
    std::string s;
    std::vector<Json> items;
    std::map<std::string, Json> fields;

    const Json& operator[](const std::string& key) const
    {
        static const Json missing;
        auto it = fields.find(key);
        return it == fields.end() ? missing : it->second;
    }
    const Json& operator[](std::size_t i) const { return items.at(i); }
};

class JsonParser {
public:
    explicit JsonParser(const std::string& text) : m_t(text) { }

    bool Parse(Json& out)
    {
        if (!Value(out))
            return false;
        Blank();
        return m_i == m_t.size();
    }

private:
    void Blank()
    {
        while (m_i < m_t.size() && (m_t[m_i] == ' ' || m_t[m_i] == '\n' || m_t[m_i] == '\t' || m_t[m_i] == '\r'))
            ++m_i;
    }
    bool Literal(const char* word)
    {
        const std::string w(word);
        if (m_t.compare(m_i, w.size(), w) != 0)
            return false;
        m_i += w.size();
        return true;
    }
    bool Str(std::string& out)
    {
        if (m_t[m_i] != '"')
            return false;
        ++m_i;
        while (m_i < m_t.size() && m_t[m_i] != '"') {
            char c = m_t[m_i++];
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_i >= m_t.size())
                return false;
            c = m_t[m_i++];
            switch (c) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u': {
                if (m_i + 4 > m_t.size())
                    return false;
                const unsigned v = std::stoul(m_t.substr(m_i, 4), nullptr, 16);
                m_i += 4;
                if (v >= 0x80)
                    return false; // the program escapes control characters only
                out += static_cast<char>(v);
                break;
            }
            default:
                return false;
            }
        }
        if (m_i >= m_t.size())
            return false;
        ++m_i;
        return true;
    }
    bool Value(Json& v)
    {
        Blank();
        if (m_i >= m_t.size())
            return false;
        const char c = m_t[m_i];
        if (c == '{') {
            v.kind = Json::Object;
            ++m_i;
            Blank();
            if (m_t[m_i] == '}')
                return ++m_i, true;
            for (;;) {
                Blank();
                std::string key;
                if (!Str(key))
                    return false;
                Blank();
                if (m_t[m_i++] != ':')
                    return false;
                if (!Value(v.fields[key]))
                    return false;
                Blank();
                if (m_t[m_i] == ',') {
                    ++m_i;
                    continue;
                }
                return m_t[m_i++] == '}';
            }
        }
        if (c == '[') {
            v.kind = Json::Array;
            ++m_i;
            Blank();
            if (m_t[m_i] == ']')
                return ++m_i, true;
            for (;;) {
                v.items.emplace_back();
                if (!Value(v.items.back()))
                    return false;
                Blank();
                if (m_t[m_i] == ',') {
                    ++m_i;
                    continue;
                }
                return m_t[m_i++] == ']';
            }
        }
        if (c == '"') {
            v.kind = Json::String;
            return Str(v.s);
        }
        if (Literal("true")) {
            v.kind = Json::Bool;
            v.b = true;
            return true;
        }
        if (Literal("false")) {
            v.kind = Json::Bool;
            return true;
        }
        if (Literal("null"))
            return true;
        // JSON numbers: no leading '+', no "inf"/"nan", no hex.
        if (c != '-' && (c < '0' || c > '9'))
            return false;
        const char* begin = m_t.c_str() + m_i;
        char* end = nullptr;
        v.kind = Json::Number;
        v.n = std::strtod(begin, &end);
        const std::string token(begin, static_cast<std::size_t>(end - begin));
        if (end == begin || token.find_first_of("xXiInN") != std::string::npos)
            return false;
        m_i += static_cast<std::size_t>(end - begin);
        return true;
    }

    const std::string& m_t;
    std::size_t m_i = 0;
};

struct CtlRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class CtlSettingsTest : public ::testing::Test {
protected:
    CtlRun Ctl(const std::string& args)
    {
        const fs::path out = m_dir.path / ".stdout";
        const fs::path err = m_dir.path / ".stderr";
        // The messages checked are the English ones.
        const std::string cmd = "cd '" + m_dir.path.string() + "' && '" VELMORA_CTL_BINARY "' --lang en " + args +
            " >'" + out.string() + "' 2>'" + err.string() + "'";
        CtlRun r;
        const int status = std::system(cmd.c_str());
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = Slurp(out);
        r.err = Slurp(err);
        fs::remove(out);
        fs::remove(err);
        return r;
    }
    std::string PathOf(const std::string& name) const { return (m_dir.path / name).string(); }

    ScratchDir m_dir;
};

} // namespace

TEST_F(CtlSettingsTest, NewWritesTheDefaultsOfANewDocument)
{
    const CtlRun r = Ctl("settings new two.ini --channels 2");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(fs::file_size(PathOf("two.ini")), 11748u);
    EXPECT_FALSE(fs::exists(m_dir.path / "Hovelt"));

    const CtlRun show = Ctl("settings show two.ini --json");
    ASSERT_EQ(show.exitCode, 0) << show.err;
    Json j;
    ASSERT_TRUE(JsonParser(show.out).Parse(j)) << show.out;
    EXPECT_EQ(j["channel_count"].n, 2);
    EXPECT_EQ(j["port_name"].kind, Json::String);
    EXPECT_EQ(j["port_name"].s, "");
    ASSERT_EQ(j["channels"].items.size(), 4u);
    for (std::size_t k = 0; k < 4; ++k) {
        // Numbered as on the command line, and the range by its key.
        EXPECT_EQ(j["channels"][k]["channel"].n, static_cast<double>(k + 1));
        EXPECT_EQ(j["channels"][k]["range"].s, "0_5V");
    }
    for (const Json& ch : j["channels"].items) {
        EXPECT_EQ(ch["use_conversion"].kind, Json::Bool);
        EXPECT_EQ(ch["range_code"].n, 0);
        EXPECT_EQ(ch["conv_min"].n, 0);
        EXPECT_EQ(ch["conv_max"].n, 100);
        EXPECT_EQ(ch["conv_decimals"].n, 0);
        ASSERT_EQ(ch["presets"].items.size(), 16u);
        for (const Json& slot : ch["presets"].items)
            EXPECT_EQ(slot.items.size(), 8u);
        EXPECT_EQ(ch["presets"][5][1].n, 20);
        ASSERT_EQ(ch["slots"].items.size(), 16u);
        for (const Json& s : ch["slots"].items)
            EXPECT_EQ(s.fields.size(), 6u);
        EXPECT_EQ(ch["slots"][3]["start"].n, -10);
        EXPECT_EQ(ch["slots"][3]["step"].n, 1);
        EXPECT_EQ(ch["slots"][3]["interval"].n, 10);
        ASSERT_EQ(ch["points"].items.size(), 100u);
        EXPECT_EQ(ch["points"][99].fields.size(), 3u);
        EXPECT_FALSE(ch["points"][99]["used"].b);
    }

    EXPECT_EQ(Ctl("settings new one.ini --channels 1").exitCode, 0);
    EXPECT_EQ(Ctl("settings new four.ini --channels=4").exitCode, 0);
    EXPECT_NE(Ctl("settings show four.ini").out.find("channel count: 4"), std::string::npos);
    EXPECT_FALSE(fs::exists(m_dir.path / "Hovelt"));
}

TEST_F(CtlSettingsTest, JsonCarriesEveryDoubleExactlyAndNonNumbersAsNull)
{
    BlockFields b;
    b.useConversion = true;
    b.rangeCode = 99;
    b.convMin = 0.1;
    b.convMax = 1.0 / 3.0;
    b.convDecimals = -7;
    b.presetBase = 1e-300;
    b.slot = {5,
              -1,
              std::numeric_limits<double>::quiet_NaN(),
              -std::numeric_limits<double>::infinity(),
              123456789.123456789,
              2147483647};
    b.point = {true, -0.000123, -5};
    BlockFields plain;
    plain.convMax = 1e300;
    // A port name with characters JSON must escape, in CP932 ("ポート").
    const std::string port = "A\"B\\C\t\x83\x7C\x81\x5B\x83\x67";
    Put(m_dir.path / "odd.ini", File(4, {plain, b, plain, plain}, port));

    const CtlRun r = Ctl("settings show odd.ini --json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    Json j;
    ASSERT_TRUE(JsonParser(r.out).Parse(j)) << r.out;
    EXPECT_EQ(j["port_name"].s, "A\"B\\C\tポート");
    const Json& ch = j["channels"][1];
    EXPECT_TRUE(ch["use_conversion"].b);
    EXPECT_EQ(ch["range_code"].n, 99);
    ASSERT_EQ(ch.fields.count("range"), 1u);
    EXPECT_EQ(ch["range"].kind, Json::Null);
    EXPECT_EQ(ch["conv_min"].n, 0.1);
    EXPECT_EQ(ch["conv_max"].n, 1.0 / 3.0);
    EXPECT_EQ(ch["conv_decimals"].n, -7);
    EXPECT_EQ(ch["presets"][0][1].n, 1e-300 + 1);
    EXPECT_EQ(ch["presets"][15][7].n, 1e-300 + 127);
    EXPECT_EQ(ch["slots"][7]["mode"].n, 5);
    EXPECT_EQ(ch["slots"][7]["repeat"].n, -1);
    EXPECT_EQ(ch["slots"][7]["start"].kind, Json::Null);
    EXPECT_EQ(ch["slots"][7]["end"].kind, Json::Null);
    EXPECT_EQ(ch["slots"][7]["step"].n, 123456789.123456789);
    EXPECT_EQ(ch["slots"][7]["interval"].n, 2147483647);
    EXPECT_TRUE(ch["points"][0]["used"].b);
    EXPECT_EQ(ch["points"][0]["value"].n, -0.000123);
    EXPECT_EQ(ch["points"][0]["interval"].n, -5);
    EXPECT_EQ(j["channels"][0]["conv_max"].n, 1e300);

    // The plain form reads too.
    const CtlRun text = Ctl("settings show odd.ini");
    ASSERT_EQ(text.exitCode, 0);
    EXPECT_NE(text.out.find("range: 99 (names no range)"), std::string::npos);
    EXPECT_NE(text.out.find("port name: A\"B\\C\tポート"), std::string::npos);
}

TEST_F(CtlSettingsTest, RefusedAndTruncatedFilesExitWithThree)
{
    Put(m_dir.path / "v101.ini", Header(2, "", "0101") + Block({}));
    Put(m_dir.path / "seven.ini", File(7, {}));
    std::string cut = File(2, {});
    cut.resize(5000);
    Put(m_dir.path / "cut.ini", cut);
    Put(m_dir.path / "empty.ini", "");

    CtlRun r = Ctl("settings show v101.ini --json");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("The file is of another version; install the latest version."), std::string::npos) << r.err;

    r = Ctl("settings show seven.ini");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("The file is not in the right format."), std::string::npos) << r.err;

    for (const char* name : {"cut.ini", "empty.ini"}) {
        r = Ctl(std::string("settings show ") + name + " --json");
        EXPECT_EQ(r.exitCode, 3) << name;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("An attempt was made to read past the end of " + std::string(name) + "."),
                  std::string::npos)
            << r.err;
    }

    r = Ctl("settings show missing.ini");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("missing.ini"), std::string::npos);
    EXPECT_FALSE(fs::exists(m_dir.path / "Hovelt"));
}

TEST_F(CtlSettingsTest, UsageErrorsExitWithTwoAndWriteNothing)
{
    for (const char* args :
         {"settings new x.ini --channels 3", "settings new x.ini --channels 0", "settings new x.ini --channels 02",
          "settings new x.ini", "settings new --channels 2", "settings new x.ini --channels", "settings show",
          "settings", "settings frob", "settings show a.ini --xml"}) {
        const CtlRun r = Ctl(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_NE(r.err.find("usage: velmoractl settings"), std::string::npos) << args << "\n" << r.err;
    }
    EXPECT_FALSE(fs::exists(m_dir.path / "x.ini"));
}
