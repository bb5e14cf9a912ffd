#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "foundation/Localizable.h"
#include "foundation/Localization.h"

using namespace tallowmere;

namespace {

std::map<std::string, std::string> files() {
    return {
        {"strings/en/Menu.json", R"({"open": "Open", "close": "Close", "quit": "Quit", "same": "Same in English"})"},
        {"strings/de/Menu.json", R"({"open": "Öffnen", "same": "same", "quit": ""})"},
        {"strings/en/Toolbar.json", R"({"open": "Open Toolbar", "broken": 5})"},
        {"strings/de/Toolbar.json", "{ not json"},
        {"strings/fr/Other.json", R"({"open": "Ouvrir"})"},
    };
}

std::shared_ptr<Localization> make(std::vector<std::string> languages) {
    auto source = [table = files()](std::string_view path) -> std::optional<std::string_view> {
        const auto found = table.find(std::string(path));
        if (found == table.end()) return std::nullopt;
        return std::string_view(found->second);
    };
    return std::make_shared<Localization>(source, std::vector<std::string>{"de", "en", "fr", "pt_BR"}, std::move(languages));
}

struct LookupCase {
    std::vector<std::string> languages;
    std::string table;
    std::string key;
    std::string expected;
};

TEST(LocalizationTest, FallsBackToEnglishThenToTheKey) {
    const std::vector<LookupCase> cases = {
        {{"de_DE.UTF-8"}, "Menu", "open", "Öffnen"},
        {{"de_DE.UTF-8"}, "Menu", "close", "Close"},               // only in English
        {{"de_DE.UTF-8"}, "Menu", "same", "Same in English"},      // translation equal to the key
        {{"de_DE.UTF-8"}, "Menu", "quit", ""},                     // an empty translation stands
        {{"de_DE.UTF-8"}, "Menu", "missing_key", "missing_key"},   // in no table
        {{"de_DE.UTF-8"}, "Toolbar", "open", "Open Toolbar"},      // unreadable German table
        {{"de_DE.UTF-8"}, "Toolbar", "broken", "broken"},          // not a text
        {{"de_DE.UTF-8"}, "Missing", "open", "open"},              // no table at all
        {{"en_GB"}, "Menu", "open", "Open"},
        {{"ja_JP"}, "Menu", "open", "Open"},                       // unavailable language
        {{"ja", "de"}, "Menu", "open", "Öffnen"},                  // next preference
        {{"fr_FR"}, "Menu", "open", "Open"},                       // French has no Menu table
        {{}, "Menu", "open", "Open"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table + "/" + c.key + " " + (c.languages.empty() ? "-" : c.languages.front()));
        EXPECT_EQ(make(c.languages)->localized(c.table, c.key), c.expected);
    }
    EXPECT_EQ(make({"pt_BR.UTF-8"})->language(), "pt_BR");
    EXPECT_EQ(make({"pt_PT"})->language(), "en");
    EXPECT_EQ(make({"de-AT"})->language(), "de");
}

TEST(LocalizationTest, ReadsTheLocaleVariables) {
    using Env = std::map<std::string, std::string>;
    auto languages = [](const Env& env) {
        return Localization::languagesFromEnvironment([&](const char* name) -> const char* {
            const auto found = env.find(name);
            return found == env.end() ? nullptr : found->second.c_str();
        });
    };
    using List = std::vector<std::string>;
    EXPECT_EQ(languages({}), List{});
    EXPECT_EQ(languages({{"LANG", "de_DE.UTF-8"}}), List{"de_DE.UTF-8"});
    EXPECT_EQ(languages({{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "fr_FR"}}), List{"fr_FR"});
    EXPECT_EQ(languages({{"LANG", "de_DE"}, {"LC_MESSAGES", "fr_FR"}, {"LC_ALL", "it_IT"}}), List{"it_IT"});
    EXPECT_EQ(languages({{"LANG", "de_DE"}, {"LC_ALL", ""}}), List{"de_DE"});
    EXPECT_EQ(languages({{"LANG", "de_DE"}, {"LANGUAGE", "sv:nb::en"}}), (List{"sv", "nb", "en", "de_DE"}));
    EXPECT_EQ(languages({{"LANG", "C.UTF-8"}, {"LANGUAGE", "sv"}}), List{});
    EXPECT_EQ(languages({{"LC_ALL", "POSIX"}, {"LANGUAGE", "sv"}}), List{});
}

struct FirstType : Localizable<FirstType> {
    static constexpr std::string_view tableName = "Menu";
};
struct SecondType : Localizable<SecondType> {
    static constexpr std::string_view tableName = "Toolbar";
};

TEST(LocalizationTest, EachTypeReadsItsOwnTable) {
    Localization::setShared(make({"en"}));
    EXPECT_EQ(FirstType::localized("open"), "Open");
    EXPECT_EQ(SecondType::localized("open"), "Open Toolbar");
    Localization::setShared(nullptr);
}

TEST(LocalizationTest, CompiledInEnglishTables) {
    const auto shared = Localization::shared();
    for (const char* key : {"malformed_url", "already_added", "download"}) {
        SCOPED_TRACE(key);
        const std::string text = shared->localized("FeedsManagerError", key);
        EXPECT_NE(text, key);
        EXPECT_NE(text.find("%@"), std::string::npos);
    }
}

TEST(LocalizationTest, FormatsArguments) {
    EXPECT_EQ(Localization::format("“%@” is bad", {"x"}), "“x” is bad");
    EXPECT_EQ(Localization::format("%@ and %@", {"a", "b"}), "a and b");
    EXPECT_EQ(Localization::format("%2$@ before %1$@", {"a", "b"}), "b before a");
    EXPECT_EQ(Localization::format("100%% %@ %@", {"sure"}), "100% sure ");
    EXPECT_EQ(Localization::format("%d %", {"x"}), "%d %");
}

}  // namespace
