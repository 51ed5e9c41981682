#include "gather/snapshot.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/json_stream.h"
#include "base/utf8.h"
#include "fuzz/snapshot_dump.h"
#include "temp_dir.h"

namespace vt::gather {
namespace {

// Usage and limit objects that decode cleanly.
const std::string kUsage = R"({"cpu":{"all":1.5},"io":{"all":2},"iops":3,"ep":4,"mem":5,"pno":6})";
const std::string kLimits =
    R"({"cpu":{"all":100},"io":{"all":1024},"iops":1000,"ep":20,"mem":4096,"pno":100})";
const std::string kMetrics = R"({"cpu":{"all":1},"io":{"all":2},"iops":3,"ep":4,"mem":5,"pno":6})";

// A user object with the given usage and limits, then `more` (which starts
// with a comma when not empty).
std::string user(const std::string& more = "", const std::string& usage = kUsage,
                 const std::string& limits = kLimits) {
  return R"({"id":1001,"usage":)" + usage + R"(,"limit":)" + limits + more + "}";
}

std::string with_users(const std::string& users) {
  return R"({"users":[)" + users + "]}";
}

// A domain object with the required fields, then `more`.
std::string domain(const std::string& more = "") {
  return R"({"id":7,"usage":)" + kMetrics + R"(,"limit":)" + kMetrics + more + "}";
}

// The user list of a snapshot whose last line is `tail`, so that errors in
// `tail` are reported on line 2.
std::string user_ending(const std::string& tail) {
  return with_users(user(",\n" + tail));
}

struct Case {
  std::string name;
  std::string text;
  std::string error;  // empty: decodes, and `check` looks at the result
  std::function<void(const SavedTopData&)> check;
};

// `text` streamed from memory in chunks of `chunk` bytes.
std::optional<SavedTopData> streamed(const std::string& text, std::size_t chunk) {
  return stream_snapshot(vt::base::json::text_reader(text), nullptr, chunk, kSnapshotMaxBytes,
                         text.size());
}

// Each case decodes whole, and streamed in chunks of several sizes: what
// decodes streams to the same, what fails is left to the whole decode.
void run(const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto got = decode_snapshot(c.text);
    for (const std::size_t chunk :
         {std::size_t{1}, std::size_t{7}, std::size_t{64}, kSnapshotChunk}) {
      SCOPED_TRACE("chunk " + std::to_string(chunk));
      const auto stream = streamed(c.text, chunk);
      EXPECT_EQ(stream.has_value(), c.error.empty());
      if (stream && got) {
        EXPECT_EQ(fuzz::dump_snapshot(*stream), fuzz::dump_snapshot(*got));
      }
    }
    if (c.error.empty()) {
      ASSERT_TRUE(got.has_value()) << got.error();
      c.check(*got);
    } else {
      ASSERT_FALSE(got.has_value());
      EXPECT_EQ(got.error(), c.error);
    }
  }
}

const TopUser& only_user(const SavedTopData& data) {
  EXPECT_EQ(data.users.size(), 1u);
  return data.users.at(0);
}

TEST(Snapshot, DecodesRecordsAndDefaults) {
  run({
      {"empty object", "{}", "",
       [](const SavedTopData& d) {
         EXPECT_EQ(d.timestamp, 0.0);
         EXPECT_TRUE(d.users.empty());
         EXPECT_TRUE(d.resellers.empty());
       }},
      {"integer timestamp and resellers",
       R"({"timestamp":1717171717,"resellers":[{"name":"r","ids":[1]},"x",null,2.0]})", "",
       [](const SavedTopData& d) {
         EXPECT_EQ(d.timestamp, 1717171717.0);
         ASSERT_EQ(d.resellers.size(), 4u);
         EXPECT_EQ(d.resellers[0].dump(), R"({"ids":[1],"name":"r"})");
         EXPECT_EQ(d.resellers[1].dump(), R"("x")");
         EXPECT_EQ(d.resellers[2].dump(), "null");
         EXPECT_EQ(d.resellers[3].dump(), "2.0");
       }},
      {"minimal user", with_users(user()), "",
       [](const SavedTopData& d) {
         const TopUser& u = only_user(d);
         EXPECT_EQ(u.id, 1001u);
         EXPECT_EQ(u.username, "");
         EXPECT_EQ(u.domain, "");
         EXPECT_EQ(u.reseller, "");
         EXPECT_FALSE(u.restricted);
         EXPECT_FALSE(u.restriction.has_value());
         EXPECT_TRUE(u.domains.empty());
         EXPECT_EQ(u.usage.cpu.all, 1.5);
         EXPECT_EQ(u.usage.io.all, 2.0);
         EXPECT_EQ(u.usage.iops, 3.0);
         EXPECT_EQ(u.usage.ep, 4.0);
         EXPECT_EQ(u.usage.mem, 5.0);
         EXPECT_EQ(u.usage.pno, 6.0);
         EXPECT_EQ(u.limit.cpu.all, 100.0);
         EXPECT_EQ(u.limit.io.all, 1024.0);
         EXPECT_EQ(u.limit.mem, 4096.0);
         // Absent, "mysql" is the floating-point zero.
         EXPECT_EQ(u.usage.cpu.mysql.dump(), "0.0");
         EXPECT_EQ(u.limit.io.mysql.dump(), "0.0");
       }},
      {"full user",
       with_users(user(R"(,"username":"u1","domain":"d.example","reseller":"r1",)"
                       R"("restricted":true,"restriction":{"time":-5,"reason":"cpu"},)"
                       R"("domains":[)" +
                       domain(R"(,"name":"a.example","docroot":"/home/u1/a")") + "]")),
       "",
       [](const SavedTopData& d) {
         const TopUser& u = only_user(d);
         EXPECT_EQ(u.username, "u1");
         EXPECT_EQ(u.domain, "d.example");
         EXPECT_EQ(u.reseller, "r1");
         EXPECT_TRUE(u.restricted);
         ASSERT_TRUE(u.restriction.has_value());
         EXPECT_EQ(u.restriction->time, -5);
         EXPECT_EQ(u.restriction->reason, "cpu");
         ASSERT_EQ(u.domains.size(), 1u);
         EXPECT_EQ(u.domains[0].id, 7u);
         EXPECT_EQ(u.domains[0].name, "a.example");
         EXPECT_EQ(u.domains[0].docroot, "/home/u1/a");
         EXPECT_EQ(u.domains[0].usage.cpu.all, 1.0);
         EXPECT_EQ(u.domains[0].limit.io.all, 2.0);
         EXPECT_EQ(u.domains[0].limit.pno, 6.0);
       }},
      {"null restriction", with_users(user(R"(,"restriction":null)")), "",
       [](const SavedTopData& d) { EXPECT_FALSE(only_user(d).restriction.has_value()); }},
      {"mysql kept as written",
       with_users(user("",
                       R"({"cpu":{"all":1,"mysql":2},"io":{"mysql":"x","all":1},)"
                       R"("iops":5,"ep":5.0,"mem":0,"pno":-1})",
                       R"({"cpu":{"mysql":null,"all":1},"io":{"all":1,"mysql":{"b":[1,2.5]}},)"
                       R"("iops":1,"ep":1,"mem":1,"pno":1})")),
       "",
       [](const SavedTopData& d) {
         const TopUser& u = only_user(d);
         EXPECT_EQ(u.usage.cpu.mysql.dump(), "2");
         EXPECT_EQ(u.usage.io.mysql.dump(), R"("x")");
         EXPECT_EQ(u.limit.cpu.mysql.dump(), "null");
         EXPECT_EQ(u.limit.io.mysql.dump(), R"({"b":[1,2.5]})");
         EXPECT_EQ(u.usage.iops, 5.0);  // integer and fraction alike
         EXPECT_EQ(u.usage.ep, 5.0);
         EXPECT_EQ(u.usage.pno, -1.0);
       }},
      {"unknown keys at every level",
       R"({"v":[{"a":[null,{}]},null],"users":[{"id":1,"x":{"id":"no"},"usage":{"cpu":)"
       R"({"all":1,"z":[]},"io":{"all":2},"iops":3,"ep":4,"mem":5,"pno":6,"q":null},"limit":)" +
           kLimits +
           R"(,"restriction":{"time":9,"reason":"r","extra":[[]]},"domains":[{"id":2,"u":1,)"
           R"("usage":)" +
           kMetrics + R"(,"limit":)" + kMetrics + R"(}]}],"w":"end"})",
       "",
       [](const SavedTopData& d) {
         const TopUser& u = only_user(d);
         EXPECT_EQ(u.id, 1u);
         EXPECT_EQ(u.usage.cpu.all, 1.0);
         ASSERT_TRUE(u.restriction.has_value());
         EXPECT_EQ(u.restriction->time, 9);
         ASSERT_EQ(u.domains.size(), 1u);
         EXPECT_EQ(u.domains[0].id, 2u);
       }},
      {"domain with null name and no docroot",
       with_users(user(R"(,"domains":[)" + domain(R"(,"name":null)") + "]")), "",
       [](const SavedTopData& d) {
         const TopUser& u = only_user(d);
         ASSERT_EQ(u.domains.size(), 1u);
         EXPECT_FALSE(u.domains[0].name.has_value());
         EXPECT_EQ(u.domains[0].docroot, "");
       }},
  });
}

TEST(Snapshot, RefusesMalformedFields) {
  run({
      {"restriction without reason", user_ending(R"("restriction":{"time":5}})"),
       "missing field \"reason\" in Restriction at line 2 column 24", nullptr},
      {"float usage given as text", with_users(user("", "\n" + std::string(R"({"iops":"5"})"))),
       "invalid type: string \"5\", expected a float at line 2 column 11", nullptr},
      {"fractional restriction time", user_ending(R"("restriction":{"time":1.5,"reason":"r"}})"),
       "invalid type: floating point 1.5, expected i64 at line 2 column 25", nullptr},
      {"id too large", "[0,\n[[4294967296]]]",
       "invalid value: integer 4294967296, expected u32 at line 2 column 12", nullptr},
      {"negative id", "{\"users\":[{\n\"id\":-1}]}",
       "invalid value: integer -1, expected u32 at line 2 column 7", nullptr},
      {"fractional id", "{\"users\":[{\n\"id\":1.0}]}",
       "invalid type: floating point 1.0, expected u32 at line 2 column 8", nullptr},
      {"null docroot",
       with_users(user(R"(,"domains":[{"id":1,)" + std::string("\n") + R"("docroot":null}])")),
       "invalid type: null, expected a string at line 2 column 14", nullptr},
      {"null domains", user_ending(R"("domains":null})"),
       "invalid type: null, expected a list at line 2 column 14", nullptr},
      {"null username", user_ending(R"("username":null})"),
       "invalid type: null, expected a string at line 2 column 15", nullptr},
      {"null restricted", user_ending(R"("restricted":null})"),
       "invalid type: null, expected a boolean at line 2 column 17", nullptr},
      {"null usage", "{\"users\":[{\"id\":1,\n\"usage\":null}]}",
       "invalid type: null, expected TopUsage at line 2 column 12", nullptr},
      {"limits named as such",
       with_users(user("", kUsage, "\n" + std::string(R"({"cpu":{"all":1},"io":{"all":1}})"))),
       "missing field \"iops\" in TopLimits at line 2 column 32", nullptr},
      {"usage named as such",
       with_users(user(
           "", "\n" + std::string(R"({"cpu":{"all":1},"io":{"all":1},"iops":1,"ep":1,"mem":1})"))),
       "missing field \"pno\" in TopUsage at line 2 column 56", nullptr},
      {"cpu usage", with_users(user("", "\n" + std::string(R"({"cpu":{"mysql":1}})"))),
       "missing field \"all\" in CpuUsage at line 2 column 18", nullptr},
      {"duplicate key", user_ending(R"("id":2})"),
       "duplicate field \"id\" in TopUser at line 2 column 4", nullptr},
      {"missing usage", "{\"users\":[{\"id\":1,\"limit\":" + kLimits + "\n}]}",
       "missing field \"usage\" in TopUser at line 2 column 1", nullptr},
      {"missing id", "{\"users\":[\n{}]}", "missing field \"id\" in TopUser at line 2 column 2",
       nullptr},
      {"top level number", "5", "invalid type: integer 5, expected SavedTopData at line 1 column 1",
       nullptr},
      {"top level string", "\"x\"",
       "invalid type: string \"x\", expected SavedTopData at line 1 column 3", nullptr},
      {"top level null", "null", "invalid type: null, expected SavedTopData at line 1 column 4",
       nullptr},
      {"text after the value", "{}\n{}", "trailing characters at line 2 column 1", nullptr},
      {"empty text", "",
       "syntax error while parsing value - unexpected end of input; expected '[', '{', or a "
       "literal at line 1 column 0",
       nullptr},
  });
}

TEST(Snapshot, DecodesArrayForms) {
  const std::string user_array = R"([1001,"u","d","r",[[1,2],[3],4,5,6,7],)"
                                 R"([{"all":9},{"all":8,"mysql":"m"},1,2,3,4],true,[12,"why"],)"
                                 R"([[5,null,"/root",)" +
                                 kMetrics + "," + kMetrics + "]]]";
  run({
      {"empty array", "[]", "",
       [](const SavedTopData& d) {
         EXPECT_EQ(d.timestamp, 0.0);
         EXPECT_TRUE(d.users.empty());
       }},
      {"timestamp only", "[1.5]", "", [](const SavedTopData& d) { EXPECT_EQ(d.timestamp, 1.5); }},
      {"user as array", "[2,[" + user_array + "],[null]]", "",
       [](const SavedTopData& d) {
         EXPECT_EQ(d.timestamp, 2.0);
         ASSERT_EQ(d.resellers.size(), 1u);
         const TopUser& u = only_user(d);
         EXPECT_EQ(u.id, 1001u);
         EXPECT_EQ(u.username, "u");
         EXPECT_EQ(u.domain, "d");
         EXPECT_EQ(u.reseller, "r");
         EXPECT_EQ(u.usage.cpu.all, 1.0);
         EXPECT_EQ(u.usage.cpu.mysql.dump(), "2");
         EXPECT_EQ(u.usage.io.mysql.dump(), "0.0");
         EXPECT_EQ(u.usage.pno, 7.0);
         EXPECT_EQ(u.limit.cpu.all, 9.0);
         EXPECT_EQ(u.limit.io.mysql.dump(), R"("m")");
         EXPECT_TRUE(u.restricted);
         ASSERT_TRUE(u.restriction.has_value());
         EXPECT_EQ(u.restriction->time, 12);
         EXPECT_EQ(u.restriction->reason, "why");
         ASSERT_EQ(u.domains.size(), 1u);
         EXPECT_EQ(u.domains[0].id, 5u);
         EXPECT_FALSE(u.domains[0].name.has_value());
         EXPECT_EQ(u.domains[0].docroot, "/root");
       }},
      {"null restriction ends the array",
       "[0,[[1,\"\",\"\",\"\"," + kUsage + "," + kLimits + ",false,null]]]", "",
       [](const SavedTopData& d) {
         const TopUser& u = only_user(d);
         EXPECT_FALSE(u.restriction.has_value());
         EXPECT_TRUE(u.domains.empty());
       }},
      // In an array an absent restriction is not "none": it has no default.
      {"user array without restriction",
       "[0,[[1,\"\",\"\",\"\"," + kUsage + "," + kLimits + ",\nfalse]]]",
       "invalid length 7, expected TopUser with 9 fields at line 2 column 6", nullptr},
      {"snapshot array too long", "[1,[],[],\n4]",
       "invalid length 4, expected SavedTopData with 3 fields at line 2 column 2", nullptr},
      {"restriction array too short", user_ending(R"("restriction":[5]})"),
       "invalid length 1, expected Restriction with 2 fields at line 2 column 17", nullptr},
      {"domain scalar array empty", user_ending(R"("domains":[[1,null,"",[[],[1],1,1,1,1]]]})"),
       "invalid length 0, expected DomainScalar with 1 field at line 2 column 25", nullptr},
  });
}

// Files in a private temporary directory, removed afterwards.
class SnapshotFile : public testing::Test {
 protected:
  std::string write(const std::string& name, const std::string& content) {
    return temp_.write(name, content);
  }

  test::TempDir temp_{"snapshot_test"};
  const std::filesystem::path& dir_ = temp_.path();
};

constexpr double kNow = 1700000000.0;

// The stream finds the users wherever the root holds them, and only there,
// through strings that hold brackets, quotes and runs of backslashes that
// reach across the scan's 64-byte blocks, and records longer than a chunk.
TEST(SnapshotStream, TakesWhatTheWholeDecodeTakes) {
  const std::string two = user() + " ,\n" + user(R"(,"username":"a\"]}{[\\")");
  std::vector<std::string> texts = {
      with_users(""),
      R"({"users":[ ]})",
      R"({"resellers":[{"users":[1]}],"users":[)" + two + R"(],"timestamp":3,"x":{"users":[]}})",
      R"({"x":"users","y":["users",{"users":[]}],"users":[)" + two + "]}",
      "[7,[" + two + "],[]]",
      " \n{\"timestamp\":1}\n",
  };
  // Runs of an odd count of backslashes before a quote, then of an even count.
  for (std::size_t pad = 0; pad < 70; ++pad) {
    const std::string even(pad % 4 * 2, '\\');
    texts.push_back(with_users(user(",\"" + std::string(pad, 'p') + "\":\"" + even + "\\\"\"," +
                                    "\"username\":\"" + even + "\\\"]" + even + "\"")));
  }
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    const auto whole = decode_snapshot(text);
    ASSERT_TRUE(whole.has_value()) << whole.error();
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{64}}) {
      const auto stream = streamed(text, chunk);
      ASSERT_TRUE(stream.has_value()) << chunk;
      EXPECT_EQ(fuzz::dump_snapshot(*stream), fuzz::dump_snapshot(*whole));
    }
  }
}

TEST_F(SnapshotFile, Loads) {
  struct FileCase {
    std::string name;
    std::optional<std::string> content;  // none: no such file
    std::string cause;                   // empty: loads
    double timestamp = 0.0;              // when it loads
    std::size_t users = 0;
  };
  const std::vector<FileCase> cases = {
      {"missing", std::nullopt, "", kNow, 0},
      {"valid", "{\"timestamp\":5,\"users\":[" + user() + "]}", "", 5.0, 1},
      {"empty", "",
       "syntax error while parsing value - unexpected end of input; expected '[', '{', or a "
       "literal at line 1 column 0",
       0.0, 0},
      {"malformed", "{\"timestamp\":\"x\"}",
       "invalid type: string \"x\", expected a float at line 1 column 16", 0.0, 0},
      {"not utf-8", "{}\n \xff",
       "invalid utf-8 sequence of 1 bytes from index 4 at line 2 column 2", 0.0, 0},
      {"cut utf-8", "{}\xe2\x82", "incomplete utf-8 byte sequence from index 2 at line 1 column 3",
       0.0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = c.content ? write(c.name, *c.content) : (dir_ / c.name).string();
    const auto got = load_snapshot(path, kNow);
    if (c.cause.empty()) {
      ASSERT_TRUE(got.has_value()) << got.error().causes.at(0);
      EXPECT_EQ(got->data.timestamp, c.timestamp);
      EXPECT_EQ(got->data.users.size(), c.users);
      EXPECT_TRUE(got->data.resellers.empty());
      EXPECT_EQ(got->unread.empty(), c.content.has_value());
    } else {
      ASSERT_FALSE(got.has_value());
      EXPECT_EQ(got.error().message, "Failed to parse " + path);
      EXPECT_EQ(got.error().causes, std::vector<std::string>{c.cause});
    }
  }
}

// A file of three chunks, read as a stream: sound, or broken on a chunk's
// edge, where the whole decode words the fault as it would alone.
TEST_F(SnapshotFile, ChunkEdgesReadAsTheWholeDecodeReadsThem) {
  std::string sound = R"({"timestamp":1,"users":[)";
  while (sound.size() < 2 * kSnapshotChunk + 1000) {
    sound += user(R"(,"padding":")" + std::string(70000, 'x') + "\"") + ",";
  }
  sound.back() = ']';
  sound += "}";
  struct EdgeCase {
    std::string name;
    std::string text;
  };
  std::vector<EdgeCase> cases = {{"sound", sound},
                                 {"cut at the first chunk's end", sound.substr(0, kSnapshotChunk)},
                                 {"a record across the end", sound.substr(0, kSnapshotChunk + 1)}};
  for (const std::size_t at : {kSnapshotChunk - 1, kSnapshotChunk}) {
    for (const char bad : {'\0', '\xff', '}'}) {
      std::string broken = sound;
      broken[at] = bad;
      cases.push_back({"byte " + std::to_string(int(bad)) + " at " + std::to_string(at), broken});
    }
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto whole = decode_snapshot(c.text);
    const auto got = load_snapshot(write("edge", c.text), kNow);
    ASSERT_EQ(got.has_value(), whole.has_value());
    if (whole) {
      EXPECT_EQ(fuzz::dump_snapshot(got->data), fuzz::dump_snapshot(*whole));
    } else if (base::is_utf8(c.text)) {
      EXPECT_EQ(got.error().causes.at(0), whole.error());
    }
  }
}

TEST_F(SnapshotFile, DirectoryGivesTheEmptySnapshot) {
  const auto from_dir = load_snapshot(dir_.string(), kNow);
  ASSERT_TRUE(from_dir.has_value());
  EXPECT_EQ(from_dir->data.timestamp, kNow);
  EXPECT_TRUE(from_dir->data.users.empty());
  EXPECT_EQ(from_dir->unread, "Cannot read " + dir_.string() + ": Is a directory (os error 21)");
}

}  // namespace
}  // namespace vt::gather
