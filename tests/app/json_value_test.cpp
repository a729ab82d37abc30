#include "app/json_value.h"

#include <gtest/gtest.h>

#include "base/utf8.h"

namespace {

TEST(JsonValueTest, ParseFailuresAreNull) {
  for (const char* text : {"", "{", "{\"a\":}", "[1,]", "{\"a\":1} trailing", "nul", "'x'"}) {
    const Json value = ParseJson(text);
    EXPECT_TRUE(value.is_null()) << text;
  }
  EXPECT_TRUE(ParseJson(" {\"a\": [1, 2.5, true, null, \"x\"]} ").is_object());
}

std::string Nested(size_t depth, const std::string& middle) {
  std::string text;
  for (size_t i = 0; i < depth; ++i) text += i % 2 ? "[" : "{\"a\": ";
  text += middle;
  for (size_t i = depth; i-- > 0;) text += i % 2 ? "]" : "}";
  return text;
}

// A hostile reply nests deep and carries a byte that is not UTF-8, so every
// pass over the value (restoring the byte, copying, writing) would recurse
// once per level.
TEST(JsonValueTest, NestingIsBounded) {
  EXPECT_TRUE(ParseJson(Nested(5000, "\"\xff\"")).is_null());
  EXPECT_TRUE(ParseJson(Nested(200000, "1")).is_null());
  EXPECT_TRUE(ParseJson(Nested(kMaxJsonDepth + 1, "\"\xff\"")).is_null());

  const Json deepest = ParseJson(Nested(kMaxJsonDepth, "\"\xff\""));
  ASSERT_TRUE(deepest.is_object());
  const Json copy = deepest;
  const std::string dumped = DumpJson(copy);
  EXPECT_EQ(copy, ParseJson(dumped));
  EXPECT_NE(std::string::npos, dumped.find('\xff'));
  // Brackets inside strings do not count as nesting.
  EXPECT_TRUE(ParseJson("{\"a\": \"" + std::string(5000, '[') + "\\\"\"}").is_object());
}

TEST(JsonValueTest, AbsentOrMistypedMembersReadEmpty) {
  const Json config = ParseJson(R"({"product": "x", "name": 7, "nested": {"k": "v"}})");
  EXPECT_EQ("x", JsonString(config, "product"));
  EXPECT_EQ("", JsonString(config, "name"));
  EXPECT_EQ("", JsonString(config, "missing"));
  EXPECT_TRUE(JsonMember(config, "missing").is_null());
  EXPECT_EQ("v", JsonString(JsonMember(config, "nested"), "k"));
  // Lookups on values that are not objects.
  EXPECT_EQ("", JsonString(ParseJson("[1]"), "product"));
  EXPECT_EQ("", JsonString(Json(), "product"));
  EXPECT_TRUE(JsonMember(JsonMember(Json(), "a"), "b").is_null());
}

TEST(JsonValueTest, DumpsOneLineInKeyOrder) {
  JsonObject values;
  values["tutorial_url"] = "https://example.test/t";
  values["installer"] = "installer\\setup.exe";
  values["b"] = Json::array({1, -2, 2.5, true, nullptr, Json::object()});
  values["a"] = JsonObject{{"z", "1"}, {"y", Json::array()}};
  EXPECT_EQ(
      "{\"a\": {\"y\": [], \"z\": \"1\"}, \"b\": [1, -2, 2.5, true, null, {}], "
      "\"installer\": \"installer\\\\setup.exe\", \"tutorial_url\": \"https://example.test/t\"}",
      DumpJson(Json(values)));
}

TEST(JsonValueTest, DumpEscapesControlsQuotesAndSeparators) {
  EXPECT_EQ(R"("q\" b\\ \n\r\t\b\f \u0001 /")", DumpJson("q\" b\\ \n\r\t\b\f \x01 /"));
  EXPECT_EQ("\"\\u2028\\u2029 \xE5\xAE\x89\"", DumpJson("\xE2\x80\xA8\xE2\x80\xA9 \xE5\xAE\x89"));
  // Numbers in the fewest digits that read back the same.
  EXPECT_EQ("0.1", DumpJson(0.1));
  EXPECT_EQ("1.234", DumpJson(1.234));
  EXPECT_EQ("0.30000000000000004", DumpJson(0.1 + 0.2));
  EXPECT_EQ("1e+300", DumpJson(1e300));
  EXPECT_EQ("18446744073709551615", DumpJson(ParseJson("18446744073709551615")));
}

TEST(JsonValueTest, StringsMayHoldBytesThatAreNotUtf8) {
  // The parse succeeds; only the value that holds bad bytes converts to "".
  const Json config = ParseJson("{\"name\": \"\xC0\xAF\", \"intro\": \"ok \xE5\xAE\x89\"}");
  ASSERT_TRUE(config.is_object());
  EXPECT_EQ("\xC0\xAF", JsonString(config, "name"));
  EXPECT_EQ(L"", cbase::Utf8ToUtf16(JsonString(config, "name")));
  EXPECT_EQ(L"ok \u5B89", cbase::Utf8ToUtf16(JsonString(config, "intro")));

  // Bad bytes in keys and nested values, next to genuine characters from the
  // private-use range used to carry them through the parser.
  const std::string tricky = "{\"k\xFF\": [\"\xF4\x8F\xBF\xBF\", \"\xF4\x8F\xBE\x80\xE5\"]}";
  const Json value = ParseJson(tricky);
  ASSERT_TRUE(value.is_object());
  const Json& list = JsonMember(value, "k\xFF");
  ASSERT_TRUE(list.is_array());
  EXPECT_EQ("\xF4\x8F\xBF\xBF", list[0].get<std::string>());
  EXPECT_EQ("\xF4\x8F\xBE\x80\xE5", list[1].get<std::string>());
  EXPECT_EQ("{\"k\xFF\": [\"\xF4\x8F\xBF\xBF\", \"\xF4\x8F\xBE\x80\xE5\"]}", DumpJson(value));
  // Outside strings bad bytes are still a parse error.
  EXPECT_TRUE(ParseJson("{\"a\": 1}\xFF").is_null());

  // Those code points written as escapes, before and after a bad byte, keep
  // their value, also right after an escaped backslash.
  const Json escaped =
      ParseJson("[\"\\udbff\\udf80\", \"\xFF\", \"\\uDBFF\\uDFFF\", \"\\\\\\udbff\\udf80\"]");
  ASSERT_TRUE(escaped.is_array());
  EXPECT_EQ(Json::array({"\xF4\x8F\xBE\x80", "\xFF", "\xF4\x8F\xBF\xBF", "\\\xF4\x8F\xBE\x80"}),
            escaped);
}

TEST(JsonValueTest, NulBytesAreNotJson) {
  // The library would stop reading at the NUL and accept what came before.
  EXPECT_TRUE(ParseJson(std::string("{\"a\": 1}\0{", 10)).is_null());
  EXPECT_TRUE(ParseJson(std::string("[1]\0", 4)).is_null());
  EXPECT_EQ(std::string(1, '\0'), JsonString(ParseJson("{\"a\": \"\\u0000\"}"), "a"));
}

}  // namespace
