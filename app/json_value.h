// The assistant's JSON: nlohmann-json values behind the few rules the
// configuration files, the service replies and the request bodies rely on.
// - Parsing never throws: anything that is not one complete JSON value is
//   null. String contents are taken byte for byte, like the rest of the
//   program expects; text that is not valid UTF-8 is only rejected later, by
//   cbase::Utf8ToUtf16, for the value that holds it.
// - Looking up a key of a non-object, a missing key, or a key of another type
//   reads as null or "".
// - The writer gives one line: {"a": 1, "b": [true, null]} with object members
//   in key order, ", " between members and ": " after each key; strings keep
//   their bytes, with control characters, quotes and backslashes escaped.
// - Nesting is bounded: a text whose arrays and objects nest deeper than
//   kMaxJsonDepth is not parsed (null), so every later walk over a parsed
//   value, which recurses per level, stays within a small stack.
// Pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

using Json = nlohmann::json;
using JsonObject = std::map<std::string, Json>;

// Deeper than any reply or configuration file the assistant writes, far
// shallower than what would exhaust a thread's stack.
constexpr size_t kMaxJsonDepth = 512;

Json ParseJson(const std::string& text);

// The member |key| of |object|; a null value when |object| is not an object
// or has no such member.
const Json& JsonMember(const Json& object, const std::string& key);

// The string member |key| of |object| as its UTF-8 bytes; "" when absent or
// not a string.
std::string JsonString(const Json& object, const std::string& key);

std::string DumpJson(const Json& value);
