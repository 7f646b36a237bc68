// Comparing two snapshots and exporting the growth: Lua object lists read
// strictly (cut-off, mismatched and broken input refused with a reason),
// grouping by kind and reference path, object maps by class and call path,
// and speedscope files that pass a strict check of the format.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SpeedscopeCheck.h"
#include "records/CpuTree.h"
#include "records/LuaObjectDiff.h"
#include "records/ObjectMapDiff.h"

namespace {

// A list as the dump writes it: registry 0x100 holding the globals 0x200
// (5.3's second slot), which hold "cache" 0x300.
std::string list(const std::string& objects, const std::string& session = "00000000000000aa",
                 const std::string& version = "52") {
  return "#1\r\nlua," + version + "," + session +
         ",8\r\nn,0,[registry]\r\nn,1,[2]\r\nn,2,cache\r\nn,3,[1]\r\nn,4,[7]\r\nn,5,next\r\n" + objects;
}
const std::string kBase = "o,300,1,88,200,2\r\no,200,1,56,100,1\r\n";
const std::string kRoot = "o,100,1,120,0,0\r\n";

zem::LuaObjectList read(const std::string& text) {
  zem::LuaObjectList l;
  std::string error;
  EXPECT_TRUE(zem::readLuaObjectList(text, "", l, error)) << error;
  return l;
}

TEST(LuaDiffTest, NewObjectsGroupedByKindAndPathFreedAsTotal) {
  const std::string a = list(kBase + "o,400,1,56,300,3\r\no,500,1,56,300,4\r\n" + kRoot + "end,5\r\n");
  // 0x400 freed; 0x500 kept; 0x600, 0x700 new tables under cache (number keys
  // collapse); 0x800 a new function under cache; 0x900..0xb00 a chain of "next".
  const std::string b = list(kBase +
                             "o,500,1,56,300,4\r\no,600,1,56,300,3\r\no,700,1,56,300,4\r\no,800,2,40,300,2\r\n"
                             "o,900,1,56,300,5\r\no,a00,1,56,900,5\r\no,b00,1,56,a00,5\r\n" +
                             kRoot + "end,10\r\n");
  zem::LuaObjectDiff d;
  std::string error;
  ASSERT_TRUE(zem::diffLuaObjects(read(a), read(b), d, error)) << error;
  struct Want {
    const char* kind;
    std::vector<std::string> path;
    long long count, bytes;
  };
  const std::vector<Want> want = {
      {"table", {"[globals]", "cache", "[number]"}, 2, 112},
      {"table", {"[globals]", "cache", "next", "next (repeated)"}, 2, 112},
      {"table", {"[globals]", "cache", "next"}, 1, 56},
      {"function", {"[globals]", "cache", "cache (repeated)"}, 1, 40},
  };
  ASSERT_EQ(d.added.size(), want.size()) << zem::formatLuaObjectDiff(d);
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(d.added[i].kind, want[i].kind);
    EXPECT_EQ(d.added[i].path, want[i].path);
    EXPECT_EQ(d.added[i].count, want[i].count);
    EXPECT_EQ(d.added[i].bytes, want[i].bytes);
  }
  EXPECT_EQ(d.addedCount, 6);
  EXPECT_EQ(d.freedCount, 1);
  EXPECT_EQ(d.freedBytes, 56);
  EXPECT_EQ(d.resizedCount, 0);
}

TEST(LuaDiffTest, SameAddressOtherSizeOrKindIsNotTheSameObject) {
  const std::string a = list(kBase + "o,400,1,56,300,3\r\no,500,1,56,300,4\r\n" + kRoot + "end,5\r\n");
  // 0x400 grew (or its address went to a new table); 0x500 is now a function.
  const std::string b = list(kBase + "o,400,1,88,300,3\r\no,500,2,40,300,4\r\n" + kRoot + "end,5\r\n");
  zem::LuaObjectDiff d;
  std::string error;
  ASSERT_TRUE(zem::diffLuaObjects(read(a), read(b), d, error)) << error;
  EXPECT_EQ(d.resizedCount, 1);
  EXPECT_EQ(d.addedCount, 1);
  ASSERT_EQ(d.added.size(), 1u);
  EXPECT_EQ(d.added[0].kind, "function");
  EXPECT_EQ(d.freedCount, 1);
}

TEST(LuaDiffTest, ListsThatCannotBeComparedAreRefused) {
  struct Case {
    const char* what;
    std::string a, b, error;
  };
  const std::string one = kBase + kRoot + "end,3\r\n";
  const std::vector<Case> cases = {
      {"Lua versions", list(one), list(one, "00000000000000aa", "51"), "different Lua versions"},
      {"identifier files", list(one), list(one, "00000000000000bb"), "different Lua identifier files"},
      {"parent missing", list(one), list("o,350,1,88,250,2\r\n" + kRoot + "end,2\r\n"), "parent"},
      {"parent loop", list(one), list("o,300,1,88,400,2\r\no,400,1,88,300,2\r\n" + kRoot + "end,3\r\n"), "loop"},
      {"address twice", list(one), list(kBase + "o,300,1,88,200,2\r\n" + kRoot + "end,4\r\n"), "twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    zem::LuaObjectDiff d;
    std::string error;
    EXPECT_FALSE(zem::diffLuaObjects(read(c.a), read(c.b), d, error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

TEST(LuaDiffTest, MalformedListsGiveTheReason) {
  struct Case {
    std::string text, error;
  };
  const std::vector<Case> cases = {
      {"", "no frame line"},
      {"#1\r\n", "cut off"},
      {"#1\r\nlua,54,00000000000000aa,8\r\nend,0\r\n", "unknown Lua version"},
      {"#1\r\nlua,52,aa,8\r\nend,0\r\n", "no Lua version line"},
      {list(kBase + kRoot), "cut off"},
      {list(kBase + kRoot + "end,2\r\n"), "counts other objects"},
      {list(kBase + kRoot + "end,3\r\no,900,1,1,0,0\r\n"), "after the end"},
      {list("o,300,1,88,200,99\r\nend,1\r\n"), "unknown name"},
      {list("o,300,3,88,200,1\r\nend,1\r\n"), "bad object"},
      {list("o,0,1,88,200,1\r\nend,1\r\n"), "bad object"},
      {list("o,300,1,88,200\r\nend,1\r\n"), "bad object line"},
      {list("o,300,1,-8,200,1\r\nend,1\r\n"), "bad object line"},
      {list("o,30G,1,8,200,1\r\nend,1\r\n"), "bad object line"},
      {list("o,300,1,99999999999,200,1\r\nend,1\r\n"), "out of range"},
      {list("n,9,late\r\nend,0\r\n"), "out of order"},
      {list("n,6,bad\\q\r\nend,0\r\n"), "bad name"},
      {list("x,6,abc\r\nend,0\r\n"), "bad name"},
      {list("q,1\r\nend,0\r\n"), "unknown line"},
      {list("g,200\r\nend,0\r\n"), ""},
      {list(kBase + "g,200\r\n" + kRoot + "end,3\r\n"), "bad globals line"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    zem::LuaObjectList l;
    std::string error;
    EXPECT_EQ(zem::readLuaObjectList(c.text, "", l, error), c.error.empty());
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

TEST(LuaDiffTest, EveryCutOffListIsRefused) {
  const std::string whole = list(kBase + "o,400,1,56,300,3\r\n" + kRoot + "end,4\r\n");
  for (size_t n = 0; n + 2 < whole.size(); ++n) {
    zem::LuaObjectList l;
    std::string error;
    EXPECT_FALSE(zem::readLuaObjectList(whole.substr(0, n), "", l, error)) << n;
  }
}

TEST(LuaDiffTest, ScrambledNamesReadWithTheKey) {
  // "ab" scrambled with key "k": 'a'^'k' = 0x0a, 'b'^'k' = 0x09.
  const std::string text = "#1\r\nlua,52,00000000000000aa,8\r\nx,0,0a09\r\no,100,1,8,0,0\r\nend,1\r\n";
  zem::LuaObjectList l;
  std::string error;
  ASSERT_TRUE(zem::readLuaObjectList(text, "k", l, error)) << error;
  EXPECT_EQ(l.names, std::vector<std::string>{"ab"});
}

// Two object maps with a cumulative tree: node 11 is Main > Spawn, 12 is Main > Load.
const std::string kTree = "#2\r\n0,10,0,0,0,0,0\r\n1,20,501,0,0,0,0\r\n2,11,502,0,0,0,0\r\n2,12,503,0,0,0,0\r\n";
const std::string kIds = "501,Game:Main ()\r\n502,Game:Spawn ()\r\n503,Game:Load ()\r\n";

TEST(ObjectMapDiffTest, GroupsByClassAndCallPath) {
  const std::string a = "#1\r\n11,Bullet,200,10\r\n12,Level,4000,2\r\n12,Map,100,1\r\n";
  const std::string b = "#2\r\n11,Bullet,1200,60\r\n11,Shell,48,1\r\n12,Map,100,1\r\n";
  zem::ObjectMapDiff d;
  std::string error;
  ASSERT_TRUE(zem::diffObjectMaps(a, b, kTree, kIds, "", d, error)) << error;
  ASSERT_EQ(d.grown.size(), 2u);
  EXPECT_EQ(d.grown[0].kind, "Bullet");
  EXPECT_EQ(d.grown[0].count, 50);
  EXPECT_EQ(d.grown[0].bytes, 1000);
  EXPECT_EQ(d.grown[0].path, (std::vector<std::string>{"Game:Main ()", "Game:Spawn ()"}));
  EXPECT_EQ(d.grown[1].kind, "Shell");
  ASSERT_EQ(d.shrunk.size(), 1u);
  EXPECT_EQ(d.shrunk[0].kind, "Level");
  EXPECT_EQ(d.shrunk[0].count, 2);
  EXPECT_EQ(d.shrunk[0].bytes, 4000);
  EXPECT_EQ(d.shrunk[0].path, (std::vector<std::string>{"Game:Main ()", "Game:Load ()"}));
}

TEST(ObjectMapDiffTest, BadInputGivesTheReason) {
  struct Case {
    std::string a, b, tree, ids, error;
  };
  const std::string map = "#1\r\n11,Bullet,200,10\r\n";
  const std::vector<Case> cases = {
      {"", map, kTree, kIds, "first map"},
      {map, "#2\r\n11,Bullet\r\n", kTree, kIds, "second map"},
      {map, "#2\r\n13,Bullet,1,1\r\n", kTree, kIds, "allocation tree lacks"},
      {map, map, "#2\r\n1,10,0,0,0,0,0\r\n", kIds, "not a cumulative tree line"},
      {map, map, "#2\r\n0,10,0,0,0\r\n", kIds, "not a cumulative tree line"},
      {map, map, kTree + "#3\r\n0,11,0,0,0,0,0\r\n", kIds, "appears twice"},
      {map, map, kTree, "501 Game\r\n", "identifier file"},
      {map, map, "x", kIds, "allocation tree"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    zem::ObjectMapDiff d;
    std::string error;
    EXPECT_FALSE(zem::diffObjectMaps(c.a, c.b, c.tree, c.ids, "", d, error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

// ---- speedscope ----

std::string growthFile() {
  return zem::growthSpeedscope("growth", {{"table", {"[globals]", "cache", "[number]"}, 1000, 88000},
                                          {"function", {"[registry]", "list", "[number]"}, 10, 480}});
}

std::string cpuFile() {
  std::string json, error;
  EXPECT_TRUE(zem::exportCpuSpeedscope("7,Update\r\n8,Physics \"step\"\r\n",
                                       "#1\r\n0,1,0,5,1\r\n1,2,7,30,1\r\n2,3,8,60,2\r\n#2\r\n0,4,0,1,1\r\n", "", json,
                                       error))
      << error;
  return json;
}

TEST(SpeedscopeTest, ExportsPassTheFormatCheck) {
  for (const std::string& file : {growthFile(), cpuFile()}) EXPECT_EQ(speedscopecheck::check(file), "") << file;
}

TEST(SpeedscopeTest, StacksAndWeightsFollowThePathsAndTheTree) {
  Json::Value growth, cpu;
  Json::Reader().parse(growthFile(), growth);
  Json::Reader().parse(cpuFile(), cpu);
  auto stack = [](const Json::Value& root, Json::ArrayIndex sample) {
    std::string out;
    for (const Json::Value& i : root["profiles"][0]["samples"][sample])
      out += (out.empty() ? "" : ";") + root["shared"]["frames"][i.asUInt()]["name"].asString();
    return out;
  };
  EXPECT_EQ(growth["profiles"][0]["unit"].asString(), "bytes");
  EXPECT_EQ(stack(growth, 0), "[globals];cache;[number];table");
  EXPECT_EQ(stack(growth, 1), "[registry];list;[number];function");
  EXPECT_EQ(growth["profiles"][0]["weights"][0].asInt64(), 88000);
  EXPECT_EQ(growth["profiles"][0]["endValue"].asInt64(), 88480);
  EXPECT_EQ(cpu["profiles"][0]["unit"].asString(), "microseconds");
  EXPECT_EQ(stack(cpu, 2), "frame 1;Update;Physics \"step\"");
  EXPECT_EQ(cpu["profiles"][0]["weights"][2].asInt64(), 60);
  EXPECT_EQ(stack(cpu, 3), "frame 2");
  EXPECT_EQ(cpu["profiles"][0]["endValue"].asInt64(), 96);
}

TEST(SpeedscopeTest, TheCheckCatchesOneDamagedField) {
  const std::string good = growthFile();
  struct Damage {
    const char* from;
    const char* to;
  };
  const std::vector<Damage> damages = {
      {"\"$schema\"", "\"schema\""},
      {"file-format-schema.json", "schema.json"},
      {"\"frames\"", "\"frame\""},
      {"{\"name\":\"cache\"}", "{\"nam\":\"cache\"}"},
      {"\"type\":\"sampled\"", "\"type\":\"sample\""},
      {"\"unit\":\"bytes\"", "\"unit\":\"byte\""},
      {"\"endValue\":88480", "\"endValue\":\"88480\""},
      {"\"endValue\":88480", "\"endValue\":100"},
      {"\"samples\"", "\"sample\""},
      {"[0,1,2,3]", "[0,1,2,99]"},
      {"[0,1,2,3]", "[0,1,2,-1]"},
      {"[88000,480]", "[88000]"},
      {"[88000,480]", "[88000,-480]"},
      {"\"activeProfileIndex\":0", "\"activeProfileIndex\":1"},
      {"]}]}", "]}]"},
  };
  ASSERT_EQ(speedscopecheck::check(good), "");
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.from);
    std::string bad = good;
    const size_t at = bad.find(d.from);
    ASSERT_NE(at, std::string::npos);
    bad.replace(at, std::string(d.from).size(), d.to);
    EXPECT_NE(speedscopecheck::check(bad), "");
  }
}

}  // namespace
