#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "platform/library/Library.h"
#include "platform/resource/StringResource.h"
#include "platform/resource/StringTable.h"
#include "tests/fixtures/TestRoot.h"

namespace {

// The argument kinds a printf format consumes, in order: 's' a text, 'd' a
// 32-bit int. Anything the callers never pass (other conversions, length
// modifiers, '*' widths, a '%' at the very end) shows as '?'.
std::string Conversions(const std::string& format) {
    std::string kinds;
    const size_t n = format.size();
    for (size_t i = 0; i < n; ++i) {
        if (format[i] != '%') continue;
        if (++i < n && format[i] == '%') continue;
        while (i < n && std::strchr("-+ #0", format[i]) != nullptr) ++i;
        bool odd = false;
        while (i < n && (std::isdigit(static_cast<unsigned char>(format[i])) || format[i] == '.' ||
                         format[i] == '*')) {
            odd |= format[i] == '*';
            ++i;
        }
        while (i < n && std::strchr("hlLqjzt", format[i]) != nullptr) {
            odd = true;
            ++i;
        }
        char c = i < n ? format[i] : '\0';
        kinds += odd ? '?' : c == 's' ? 's' : (c == 'd' || c == 'i') ? 'd' : '?';
    }
    return kinds;
}

// The arguments each format text is filled with, in the callers' order.
const std::map<UINT, std::string>& FormatArguments() {
    static const std::map<UINT, std::string> formats = {
        {10028, "ss"},                      // date and time, computer
        {10036, "sssds" "ssssss" "ds" "ssssss" "ds"},  // changed item, 21 arguments
        {10033, "ssss" "ssssss" "ds"},      // added item, 12 arguments
        {10039, "ssss" "ssssss" "ds"},      // removed item, as added
        {10257, "ss"},                      // subject, computer
        {37, "d"},                          // latest build
        {40, "s"},                          // Internet error text
        {41, "d"},                          // Internet error number
        {85, "s"},                          // "folder" or "file"
    };
    return formats;
}

// Every text the agent, the engine and the console load.
const std::set<UINT>& ExpectedIds() {
    static const std::set<UINT> ids = {
        // agent service
        10001, 10002, 10003, 10004, 10005, 10006, 10008, 10009, 10010, 10011, 10014, 10016,
        10021, 10022, 10023, 10024, 10025, 10032, 10064, 10128, 10256,
        // alert mail
        10028, 10033, 10036, 10039, 10040, 10041, 10042, 10043, 10257,
        // console
        2, 3, 5, 7, 8, 9, 10, 11, 12, 14, 15, 16, 17, 18, 20, 26, 27, 28, 29, 30, 32, 35, 36,
        37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 48, 49, 50, 51, 55, 56, 57, 58, 59, 60, 62, 65,
        68, 69, 70, 74, 75, 76, 78, 79, 81, 82, 83, 84, 85, 100, 1201, 57344};
    return ids;
}

bool IsConsoleText(UINT id) { return id < 10000 || id == 57344; }

bool IsValidUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : 9;
        if (extra == 9 || i + extra >= text.size()) return false;
        for (size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

// One language library's texts, read through LoadString as the programs do.
std::map<UINT, std::string> Texts(const std::string& library) {
    std::map<UINT, std::string> texts;
    HMODULE module = LoadLibraryA(kvtest::BinPath(library).c_str());
    if (module == nullptr) {
        ADD_FAILURE() << library << " does not load";
        return texts;
    }
    auto* table = static_cast<const KvStringTableData*>(
        kv::platform::ModuleData(module, KV_STRING_TABLE_SYMBOL));
    if (table == nullptr) {
        ADD_FAILURE() << library << " carries no string table";
        return texts;
    }
    for (uint32_t i = 0; i < table->count; ++i) {
        char buffer[1024];
        int length = LoadStringA(module, table->entries[i].id, buffer, sizeof buffer);
        texts[table->entries[i].id] = std::string(buffer, length > 0 ? length : 0);
    }
    return texts;
}

std::set<UINT> IdsOf(const std::map<UINT, std::string>& texts) {
    std::set<UINT> ids;
    for (const auto& entry : texts) ids.insert(entry.first);
    return ids;
}

TEST(LanguageLibraries, EveryLanguageHasTheSameIds) {
    EXPECT_EQ(IdsOf(Texts("OrvRes409.so")), IdsOf(Texts("OrvRes407.so")));
}

TEST(LanguageLibraries, ConversionsAreCountedAsPrintfConsumesArguments) {
    EXPECT_EQ(Conversions("a %s b %d c %% d %-12s %3d %i"), "sdsdd");
    EXPECT_EQ(Conversions("%ld %lu %*d %u %x %c %"), "???????");
    EXPECT_EQ(Conversions("100%% sure"), "");
}

class LanguageLibrary : public ::testing::TestWithParam<const char*> {};

TEST_P(LanguageLibrary, CarriesExactlyTheTextsTheProgramsLoad) {
    std::set<UINT> ids = IdsOf(Texts(GetParam()));
    for (UINT id : ExpectedIds()) EXPECT_TRUE(ids.count(id)) << "missing text " << id;
    for (UINT id : ids) EXPECT_TRUE(ExpectedIds().count(id)) << "text " << id << " is never loaded";
}

TEST_P(LanguageLibrary, TextsFitTheBuffersTheyAreLoadedInto) {
    for (const auto& [id, text] : Texts(GetParam())) {
        SCOPED_TRACE("text " + std::to_string(id));
        EXPECT_FALSE(text.empty());
        EXPECT_LE(text.size(), IsConsoleText(id) ? 255u : 499u);
        EXPECT_TRUE(IsValidUtf8(text));
    }
}

TEST_P(LanguageLibrary, FormatsTakeExactlyTheArgumentsTheirCallersPass) {
    std::map<UINT, std::string> texts = Texts(GetParam());
    for (const auto& [id, kinds] : FormatArguments()) EXPECT_EQ(Conversions(texts[id]), kinds) << "text " << id;
    // Texts used as they stand (the alert headings and closing among them)
    // hold no % at all, so that they read the same if ever formatted.
    for (const auto& [id, text] : texts) {
        if (FormatArguments().count(id)) continue;
        EXPECT_EQ(text.find('%'), std::string::npos) << "text " << id;
    }
    for (UINT id : {10040u, 10041u, 10042u, 10043u}) EXPECT_TRUE(texts.count(id)) << id;
}

TEST_P(LanguageLibrary, AlertPiecesJoinIntoOneReadableMail) {
    std::map<UINT, std::string> texts = Texts(GetParam());
    // The 83-hyphen separator and the next heading start on lines of their
    // own only when every item, heading and the header end with a blank line.
    for (UINT id : {10028u, 10041u, 10042u, 10043u, 10033u, 10036u, 10039u}) {
        const std::string& text = texts[id];
        EXPECT_TRUE(text.size() >= 2 && text.compare(text.size() - 2, 2, "\n\n") == 0) << "text " << id;
    }
    EXPECT_EQ(texts[10040].back(), '\n');
    // A line break in the subject would end the mail header early.
    EXPECT_EQ(texts[10257].find_first_of("\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Languages, LanguageLibrary, ::testing::Values("OrvRes409.so", "OrvRes407.so"),
                         [](const auto& info) { return std::string(info.param).substr(0, 9); });

}  // namespace
