// Stands in for a game engine that embeds Debian's Mono 6.8: registers call
// instrumentation as an engine does, starts the runtime, loads zem by path and
// binds it to the runtime module (PreLoad, hook_entry, StartProfilerOn), runs a
// C# game loop over several frames and checks the trees zem wrote against what
// the script did. With "memory" as the last argument: memory mode, allocations
// of known classes at known paths, checked in the allocation trees and the
// object map. "memory-clauses" instead: the same, with the runtime asked for
// exception clause notices but not for methods left by an exception. With
// "leak": two object maps around a leaking step, compared.
#include <dlfcn.h>
#include <mono/jit/jit.h>
#include <mono/metadata/assembly.h>
#include <mono/metadata/mono-config.h>
#include <mono/metadata/object.h>
#include <mono/metadata/profiler.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "records/ObjectMapDiff.h"
#include "records/Records.h"
#include "wincheck.h"

namespace {

void* g_zem = nullptr;

template <typename F>
F zemFn(const char* name) {
  void* p = dlsym(g_zem, name);
  if (!WCHECK(p != nullptr)) std::printf("missing export %s\n", name);
  return reinterpret_cast<F>(p);
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

MonoProfilerCallInstrumentationFlags instrumentAll(MonoProfiler*, MonoMethod*) {
  return static_cast<MonoProfilerCallInstrumentationFlags>(MONO_PROFILER_CALL_INSTRUMENTATION_ENTER |
                                                           MONO_PROFILER_CALL_INSTRUMENTATION_LEAVE |
                                                           MONO_PROFILER_CALL_INSTRUMENTATION_TAIL_CALL);
}
MonoProfilerCallInstrumentationFlags instrumentAllAndExceptionLeaves(MonoProfiler* p, MonoMethod* m) {
  return static_cast<MonoProfilerCallInstrumentationFlags>(instrumentAll(p, m) |
                                                           MONO_PROFILER_CALL_INSTRUMENTATION_EXCEPTION_LEAVE);
}

MonoMethod* findMethod(MonoImage* image, const char* ns, const char* cls, const char* name, int args) {
  MonoClass* k = mono_class_from_name(image, ns, cls);
  return k ? mono_class_get_method_from_name(k, name, args) : nullptr;
}

void invoke(MonoMethod* m, void** args = nullptr) {
  MonoObject* exc = nullptr;
  if (m) mono_runtime_invoke(m, nullptr, args, &exc);
  WCHECK(exc == nullptr);
}

// The game's assembly (after the callback assembly it refers to), or null.
MonoImage* openGame(MonoDomain* domain, const std::string& asmDir) {
  MonoAssembly* callback = mono_domain_assembly_open(domain, (asmDir + "ZemCallBack.dll").c_str());
  MonoAssembly* game = mono_domain_assembly_open(domain, (asmDir + "Game.dll").c_str());
  return WCHECK(callback && game) ? mono_assembly_get_image(game) : nullptr;
}

// One node of a written tree: depth, name, calls, key, node, total, extra1, extra2.
struct Line {
  int depth;
  std::string name;
  long long calls;
  long long key;
  long long node, total, extra1, extra2;
};
using Frame = std::vector<Line>;

std::vector<Frame> readTrees(const std::string& dir, const std::string& file = "cpu.txt") {
  std::vector<zem::IdName> ids;
  std::vector<zem::FrameBlock> blocks;
  std::string err;
  WCHECK(zem::readIdMap(slurp(dir + "ids.txt"), "", ids, err));
  WCHECK(zem::readFrames(slurp(dir + file), blocks, err));
  std::map<long long, std::string> names;
  for (auto& r : ids) names[static_cast<long long>(r.id)] = r.name;
  std::vector<Frame> out;
  for (auto& b : blocks) {
    out.emplace_back();
    for (auto& l : b.lines) {
      if (!WCHECK(l.size() == 5 || l.size() == 7)) continue;
      const bool full = l.size() == 7;
      out.back().push_back(
          {static_cast<int>(l[0]), names[l[2]], l[4], l[2], l[1], l[3], full ? l[5] : 0, full ? l[6] : 0});
    }
  }
  return out;
}

bool has(const Frame& f, int depth, const std::string& name) {
  for (auto& l : f)
    if (l.depth == depth && l.name == name) return true;
  return false;
}
long long callsOf(const Frame& f, const std::string& name) {
  long long n = 0;
  for (auto& l : f)
    if (l.name == name) n += l.calls;
  return n;
}
bool anyNameStartingWith(const Frame& f, const std::string& prefix) {
  for (auto& l : f)
    if (l.name.compare(0, prefix.size(), prefix) == 0) return true;
  return false;
}
int maxDepth(const Frame& f) {
  int d = 0;
  for (auto& l : f) d = l.depth > d ? l.depth : d;
  return d;
}
void print(const Frame& f) {
  for (auto& l : f) std::printf("  %*s%s (%lld)\n", l.depth * 2, "", l.name.c_str(), l.calls);
}

// The node named name (the first) and everything below it.
Frame subtree(const Frame& f, const std::string& name) {
  Frame out;
  for (auto& l : f) {
    if (!out.empty() && l.depth <= out[0].depth) break;
    if (!out.empty() || l.name == name) out.push_back(l);
  }
  return out;
}

struct Sum {
  long long calls = 0, total = 0, extra1 = 0, extra2 = 0;
};
Sum sum(const Frame& f) {
  Sum s;
  for (auto& l : f) {
    s.calls += l.calls;
    s.total += l.total;
    s.extra1 += l.extra1;
    s.extra2 += l.extra2;
  }
  return s;
}

// (bytes, count) of the live objects of class className whose leaf is in nodes.
std::pair<long long, long long> liveObjects(const zem::ObjectMap& objects, const Frame& nodes,
                                            const std::string& className) {
  std::pair<long long, long long> out{0, 0};
  for (auto& g : objects.groups)
    for (auto& l : nodes)
      if (static_cast<uint64_t>(l.node) == g.leaf && g.className == className) {
        out.first += g.bytes;
        out.second += g.count;
      }
  return out;
}

zem::ObjectMap readObjects(const std::string& path) {
  zem::ObjectMap objects;
  std::string err;
  if (!WCHECK(zem::readObjectMap(slurp(path), objects, err))) std::printf("%s: %s\n", path.c_str(), err.c_str());
  for (auto& g : objects.groups)
    std::printf("  object group: leaf %llu %s %lld bytes, %lld\n", static_cast<unsigned long long>(g.leaf),
                g.className.c_str(), g.bytes, g.count);
  return objects;
}

// Memory mode on the real runtime: the C# loop of AllocLoop.cs over three frames.
int checkMemoryMode(MonoDomain* domain, const std::string& monoPath, const std::string& asmDir,
                    const std::string& dir) {
  auto startProfilerOn = zemFn<int (*)(const char*, int32_t, int32_t, int32_t)>("StartProfilerOn");
  auto idMapFile = zemFn<void (*)(const char*, const char*)>("IdMapFile");
  auto logGcFile = zemFn<void (*)(const char*)>("LogGcFile");
  auto dumpCallTree = zemFn<void (*)(const char*)>("DumpCallTree");
  auto dumpObjectMap = zemFn<void (*)(const char*)>("DumpObjectMap");
  auto setFrameAtEnd = zemFn<void (*)(int)>("SetFrameAtEnd");
  auto stopProfiling = zemFn<int (*)()>("StopProfiling");
  if (wincheck::failed()) return wincheck::summary();
  MonoImage* image = openGame(domain, asmDir);
  if (!image) return wincheck::summary();
  MonoMethod* keep = findMethod(image, "", "AllocLoop", "Keep", 2);
  MonoMethod* churn = findMethod(image, "", "AllocLoop", "Churn", 1);
  MonoMethod* drop = findMethod(image, "", "AllocLoop", "Drop", 0);
  MonoMethod* churnOnThreads = findMethod(image, "", "AllocLoop", "ChurnOnThreads", 2);
  MonoMethod* catchLoop = findMethod(image, "", "AllocLoop", "CatchLoop", 1);
  MonoMethod* probe = findMethod(image, "", "AllocLoop", "Probe", 0);
  auto multiThread = zemFn<void (*)(int32_t)>("MultiThread");
  MonoClass* bullet = mono_class_from_name(image, "", "Bullet");
  MonoClass* shell = mono_class_from_name(image, "", "Shell");
  if (!WCHECK(keep && churn && drop && churnOnThreads && catchLoop && probe && multiThread && bullet && shell))
    return wincheck::summary();
  const long long bulletSize = mono_class_instance_size(bullet), shellSize = mono_class_instance_size(shell);

  // The first exception caught loads and compiles what handling it needs (allocating
  // once): done before recording so that the loop's counts are its own.
  int warmUp = 1;
  void* warmUpArgs[] = {&warmUp};
  invoke(catchLoop, warmUpArgs);
  WCHECK_EQ(startProfilerOn(monoPath.c_str(), 1, 0, 0), 1);
  idMapFile((dir + "ids.txt").c_str(), nullptr);
  logGcFile((dir + "gc.txt").c_str());
  const int kBullets = 60000, kShells = 30000, kChurn = 200000;
  int bullets = kBullets, shells = kShells, churned = kChurn;
  void* keepArgs[] = {&bullets, &shells};
  invoke(keep, keepArgs);
  setFrameAtEnd(1);
  void* churnArgs[] = {&churned};
  invoke(churn, churnArgs);
  setFrameAtEnd(2);
  dumpObjectMap((dir + "objects_live.txt").c_str());
  dumpCallTree((dir + "tree_live.txt").c_str());
  invoke(drop);
  dumpObjectMap((dir + "objects_dropped.txt").c_str());
  dumpCallTree((dir + "tree_dropped.txt").c_str());
  // Other threads, recorded in the shared context, while collections run on any of them.
  multiThread(1);
  int threads = 2, each = 100000;
  void* threadArgs[] = {&threads, &each};
  invoke(churnOnThreads, threadArgs);
  setFrameAtEnd(3);
  dumpObjectMap((dir + "objects_threads.txt").c_str());
  dumpCallTree((dir + "tree_threads.txt").c_str());
  // Exceptions thrown through profiled frames and caught, between two calls of one
  // method that allocates.
  const int kRounds = 500;
  int rounds = kRounds;
  void* catchArgs[] = {&rounds};
  invoke(probe);
  invoke(catchLoop, catchArgs);
  invoke(probe);
  setFrameAtEnd(4);
  dumpCallTree((dir + "tree_exceptions.txt").c_str());
  WCHECK_EQ(stopProfiling(), 0);

  const std::string makeBullets = "AllocLoop:MakeBullets (int)", makeShells = "Armory:MakeShells (int,int)",
                    churnName = "AllocLoop:Churn (int)";
  // The frame allocation trees: each frame holds its own allocations, every one counted.
  std::vector<Frame> frames = readTrees(dir, "gc.txt");
  // frames 3 and 4: main and shared contexts
  if (!WCHECK_EQ(frames.size(), 6u)) return wincheck::summary();
  for (size_t i = 0; i < frames.size(); ++i) {
    std::printf("allocation frame block %zu:\n", i + 1);
    print(frames[i]);
  }
  const Sum b = sum(subtree(frames[0], makeBullets)), sh = sum(subtree(frames[0], makeShells));
  const Sum c = sum(subtree(frames[1], churnName));
  // The runtime's allocator wrappers (entered like any method) are left out: the
  // allocating method is the leaf itself.
  for (auto* f : {&frames[0], &frames[1]})
    for (auto& l : *f)
      WCHECK(l.name.compare(0, 15, "(wrapper alloc)") != 0 &&
             l.name.find("__icall_wrapper_mono_") == std::string::npos);
  WCHECK_EQ(subtree(frames[0], makeBullets).size(), 1u);
  WCHECK_EQ(b.calls, kBullets);
  WCHECK_EQ(b.total, kBullets * bulletSize);
  WCHECK_EQ(sh.calls, kShells);
  WCHECK_EQ(sh.total, kShells * shellSize);
  WCHECK(!subtree(subtree(frames[0], "AllocLoop:Keep (int,int)"), makeShells).empty());
  WCHECK_EQ(c.calls, kChurn);  // garbage addresses handed out again are counted every time
  WCHECK_EQ(c.total, kChurn * bulletSize);
  WCHECK(subtree(frames[1], makeBullets).empty());

  // The cumulative tree and the object map after a full collection: the kept objects
  // are live wherever the collector moved them; of the garbage only the last object.
  std::vector<Frame> live = readTrees(dir, "tree_live.txt");
  if (!WCHECK_EQ(live.size(), 1u)) return wincheck::summary();
  print(live[0]);
  const zem::ObjectMap objects = readObjects(dir + "objects_live.txt");
  WCHECK(liveObjects(objects, subtree(live[0], makeBullets), "Bullet") ==
         std::make_pair(kBullets * bulletSize, 1LL * kBullets));
  WCHECK(liveObjects(objects, subtree(live[0], makeShells), "Shell") ==
         std::make_pair(kShells * shellSize, 1LL * kShells));
  WCHECK(liveObjects(objects, subtree(live[0], churnName), "Bullet") == std::make_pair(bulletSize, 1LL));
  const Sum churnTotal = sum(subtree(live[0], churnName));
  WCHECK_EQ(churnTotal.calls, kChurn);
  WCHECK_EQ(churnTotal.extra2, 1);  // live objects of the path after the dump's collection
  WCHECK_EQ(churnTotal.extra1, bulletSize);

  // Dropped: they leave the live map; totals stay.
  std::vector<Frame> dropped = readTrees(dir, "tree_dropped.txt");
  if (!WCHECK_EQ(dropped.size(), 1u)) return wincheck::summary();
  const zem::ObjectMap after = readObjects(dir + "objects_dropped.txt");
  for (const std::string& leaf : {makeBullets, makeShells, churnName}) {
    const Frame nodes = subtree(dropped[0], leaf);
    for (const char* cls : {"Bullet", "Shell"}) WCHECK(liveObjects(after, nodes, cls).second == 0);
    const Sum n = sum(nodes);
    WCHECK_EQ(n.extra1, 0);
    WCHECK_EQ(n.extra2, 0);
    WCHECK(n.calls == (leaf == churnName ? kChurn : leaf == makeBullets ? kBullets : kShells));
  }

  // Threads: every allocation counted in the shared context, the last object of each live.
  const std::string work = "AllocLoop:Work (int,int)";
  const Sum frameWork = sum(subtree(frames[3], work));
  WCHECK_EQ(frameWork.calls, 1LL * threads * each);
  WCHECK(subtree(frames[2], work).empty());
  std::vector<Frame> perContext = readTrees(dir, "tree_threads.txt");
  if (!WCHECK_EQ(perContext.size(), 2u)) return wincheck::summary();
  print(perContext[1]);
  const Sum totalWork = sum(subtree(perContext[1], work));
  WCHECK_EQ(totalWork.calls, 1LL * threads * each);
  WCHECK_EQ(totalWork.extra2, threads);
  const zem::ObjectMap threadObjects = readObjects(dir + "objects_threads.txt");
  WCHECK(liveObjects(threadObjects, subtree(perContext[1], work), "Bullet") ==
         std::make_pair(threads * bulletSize, 1LL * threads));

  // Exceptions: what is allocated in an unwound frame's finally is filed under that
  // frame, what is allocated after the catch under the catching method, and the path
  // of the method called before and after the loop is one and the same.
  std::vector<Frame> exceptions = readTrees(dir, "tree_exceptions.txt");
  if (!WCHECK_EQ(exceptions.size(), 2u)) return wincheck::summary();
  const Frame& main = exceptions[0];
  print(main);
  auto nodes = [&](const std::string& name) {
    Frame out;
    for (auto& l : main)
      if (l.name == name) out.push_back(l);
    return out;
  };
  const Frame catcher = nodes("AllocLoop:CatchLoop (int)"), fire = nodes("Thrower:Fire (int)"),
              probes = nodes("AllocLoop:Probe ()");
  if (!WCHECK_EQ(catcher.size(), 1u) || !WCHECK_EQ(fire.size(), 1u) || !WCHECK_EQ(probes.size(), 1u))
    return wincheck::summary();
  std::printf("catching method: %lld allocations, %lld bytes\n", catcher[0].calls, catcher[0].total);
  WCHECK_EQ(catcher[0].calls, kRounds);
  WCHECK_EQ(catcher[0].total, kRounds * bulletSize);
  WCHECK_EQ(fire[0].calls, kRounds);
  WCHECK_EQ(fire[0].total, kRounds * shellSize);
  WCHECK_EQ(probes[0].calls, 2);
  WCHECK_EQ(probes[0].total, 2 * shellSize);
  WCHECK_EQ(probes[0].depth, nodes("AllocLoop:Keep (int,int)").at(0).depth);
  return wincheck::summary();
}

// Two object maps around LeakLoop.Step: the comparison names the kept Sparks and
// the dropped Embers, each on its own call path, and nothing else.
int checkLeakDiff(MonoDomain* domain, const std::string& monoPath, const std::string& asmDir, const std::string& dir) {
  auto startProfilerOn = zemFn<int (*)(const char*, int32_t, int32_t, int32_t)>("StartProfilerOn");
  auto idMapFile = zemFn<void (*)(const char*, const char*)>("IdMapFile");
  auto dumpCallTree = zemFn<void (*)(const char*)>("DumpCallTree");
  auto dumpObjectMap = zemFn<void (*)(const char*)>("DumpObjectMap");
  auto stopProfiling = zemFn<int (*)()>("StopProfiling");
  if (wincheck::failed()) return wincheck::summary();
  MonoImage* image = openGame(domain, asmDir);
  if (!image) return wincheck::summary();
  MonoMethod* prepare = findMethod(image, "", "LeakLoop", "Prepare", 2);
  MonoMethod* step = findMethod(image, "", "LeakLoop", "Step", 1);
  MonoClass* spark = mono_class_from_name(image, "", "Spark");
  MonoClass* ember = mono_class_from_name(image, "", "Ember");
  if (!WCHECK(prepare && step && spark && ember)) return wincheck::summary();
  const long long sparkSize = mono_class_instance_size(spark), emberSize = mono_class_instance_size(ember);

  WCHECK_EQ(startProfilerOn(monoPath.c_str(), 1, 0, 0), 1);
  idMapFile((dir + "ids.txt").c_str(), nullptr);
  const int kEmbers = 2000, kSparks = 5000;
  int embers = kEmbers, sparks = kSparks, none = 0;
  void* warmArgs[] = {&none};
  invoke(step, warmArgs);
  void* prepareArgs[] = {&embers, &sparks};
  invoke(prepare, prepareArgs);
  dumpObjectMap((dir + "map_a.txt").c_str());
  void* stepArgs[] = {&sparks};
  invoke(step, stepArgs);
  dumpObjectMap((dir + "map_b.txt").c_str());
  dumpCallTree((dir + "tree.txt").c_str());
  WCHECK_EQ(stopProfiling(), 0);

  zem::ObjectMapDiff diff;
  std::string error;
  if (!WCHECK(zem::diffObjectMaps(slurp(dir + "map_a.txt"), slurp(dir + "map_b.txt"), slurp(dir + "tree.txt"),
                                  slurp(dir + "ids.txt"), "", diff, error)))
    std::printf("diff: %s\n", error.c_str());
  std::printf("%s", zem::formatObjectMapDiff(diff).c_str());
  if (WCHECK_EQ(diff.grown.size(), 1u)) {
    const zem::GrowthGroup& g = diff.grown[0];
    WCHECK_EQ(g.kind, std::string("Spark"));
    WCHECK_EQ(g.count, kSparks);
    WCHECK_EQ(g.bytes, kSparks * sparkSize);
    WCHECK(!g.path.empty() && g.path.back() == "LeakLoop:KeepSparks (int)");
    WCHECK(g.path.size() >= 2 && g.path[g.path.size() - 2] == "LeakLoop:Step (int)");
  }
  if (WCHECK_EQ(diff.shrunk.size(), 1u)) {
    const zem::GrowthGroup& g = diff.shrunk[0];
    WCHECK_EQ(g.kind, std::string("Ember"));
    WCHECK_EQ(g.count, kEmbers);
    WCHECK_EQ(g.bytes, kEmbers * emberSize);
    WCHECK(!g.path.empty() && g.path.back() == "LeakLoop:MakeEmbers (int)");
  }
  return wincheck::summary();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::printf("usage: StandinMonoEngine <zem.so> <libmonosgen-2.0.so> <assembly dir> <output dir>\n");
    return 2;
  }
  const std::string zemPath = argv[1], monoPath = argv[2];
  const std::string asmDir = std::string(argv[3]) + "/", dir = std::string(argv[4]) + "/";
  const std::string mode = argc > 5 ? argv[5] : "";
  const bool leak = mode == "leak";
  const bool memory = leak || mode == "memory" || mode == "memory-clauses";

  // What an engine does before starting the runtime: call instrumentation through the
  // runtime's current profiler interface, without which the legacy hooks see no calls.
  MonoProfilerHandle handle = mono_profiler_create(nullptr);
  mono_profiler_set_call_instrumentation_filter_callback(
      handle, mode == "memory" ? instrumentAllAndExceptionLeaves : instrumentAll);
  // Allocation and exception clause events exist only when asked for before the runtime starts.
  if (memory) WCHECK(mono_profiler_enable_allocations());
  if (memory) WCHECK(mono_profiler_enable_clauses());
  mono_config_parse(nullptr);
  MonoDomain* domain = mono_jit_init("zemgame");
  if (!WCHECK(domain != nullptr)) return wincheck::summary();
  mono_dllmap_insert(nullptr, "zem", nullptr, zemPath.c_str(), nullptr);

  g_zem = dlopen(zemPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!WCHECK(g_zem != nullptr)) return wincheck::summary();
  if (leak) return checkLeakDiff(domain, monoPath, asmDir, dir);
  if (memory) return checkMemoryMode(domain, monoPath, asmDir, dir);
  auto preLoad = zemFn<int32_t (*)(const char*, int32_t)>("PreLoad");
  auto hookEntry = zemFn<int (*)(const char*)>("hook_entry");
  auto monoEnterLeave = zemFn<int32_t (*)()>("MonoEnterLeave");
  auto startProfilerOn = zemFn<int (*)(const char*, int32_t, int32_t, int32_t)>("StartProfilerOn");
  auto winProfileCpu = zemFn<void (*)(int)>("WinProfileCPU");
  auto idMapFile = zemFn<void (*)(const char*, const char*)>("IdMapFile");
  auto logCpuFile = zemFn<void (*)(const char*)>("LogCpuFile");
  auto setFrameAtEnd = zemFn<void (*)(int)>("SetFrameAtEnd");
  auto stopProfiling = zemFn<int (*)()>("StopProfiling");
  auto checkStack = zemFn<int (*)()>("ZEMEngineCheckStack");
  if (wincheck::failed()) return wincheck::summary();

  WCHECK_EQ(preLoad(monoPath.c_str(), 0) & 0xff, 1);
  WCHECK_EQ(monoEnterLeave() & 0xff, 1);  // 6.8 has no invoke installer: the filtered path
  WCHECK_EQ(hookEntry(monoPath.c_str()), 1);

  MonoAssembly* callback = mono_domain_assembly_open(domain, (asmDir + "ZemCallBack.dll").c_str());
  MonoAssembly* game = mono_domain_assembly_open(domain, (asmDir + "Game.dll").c_str());
  if (!WCHECK(callback && game)) return wincheck::summary();
  MonoImage* gameImage = mono_assembly_get_image(game);
  MonoImage* callbackImage = mono_assembly_get_image(callback);
  MonoMethod* awake = findMethod(gameImage, "", "Game", "Awake", 0);
  MonoMethod* update = findMethod(gameImage, "", "Game", "Update", 0);
  MonoMethod* initCount = findMethod(callbackImage, "ZemCallBack", "Wrapper", "InitCount", 0);
  MonoClassField* collectField =
      mono_class_get_field_from_name(mono_class_from_name(gameImage, "", "Game"), "CollectThisFrame");
  if (!WCHECK(awake && update && initCount && collectField)) return wincheck::summary();

  // The first script callback injects the wrapper (Assembly.Load(byte[]) + StaticInit).
  invoke(awake);
  invoke(update);  // a second trigger: no second injection
  MonoObject* exc = nullptr;
  MonoObject* count = mono_runtime_invoke(initCount, nullptr, nullptr, &exc);
  WCHECK(count && *static_cast<int*>(mono_object_unbox(count)) == 1);

  // Profiling in cpu mode; the self-check learns the wrapper's API.
  WCHECK_EQ(startProfilerOn(monoPath.c_str(), 0, 1, 0), 1);
  idMapFile((dir + "ids.txt").c_str(), nullptr);
  logCpuFile((dir + "cpu.txt").c_str());

  MonoVTable* gameVtable = mono_class_vtable(domain, mono_class_from_name(gameImage, "", "Game"));
  for (int f = 1; f <= 5; ++f) {
    if (f == 3) winProfileCpu(1);
    if (f == 5) winProfileCpu(3);
    mono_bool collect = f == 4;
    mono_field_static_set_value(gameVtable, collectField, &collect);
    invoke(update);
    setFrameAtEnd(f);
  }
  WCHECK_EQ(checkStack(), 0);
  WCHECK_EQ(stopProfiling(), 0);

  std::vector<Frame> frames = readTrees(dir);
  if (!WCHECK_EQ(frames.size(), 5u)) return wincheck::summary();
  for (size_t i = 0; i < frames.size(); ++i) {
    std::printf("frame %zu:\n", i + 1);
    print(frames[i]);
  }
  const std::string upd = "Game:Update ()";
  // Default level: three nesting levels, the runtime's invoke wrapper the first of them
  // until its name has been written once.
  WCHECK(anyNameStartingWith(frames[0], "(wrapper runtime-invoke)"));
  WCHECK(has(frames[0], 2, upd));
  WCHECK(maxDepth(frames[0]) <= 3 + 1);  // a sample may hang below the last method level
  WCHECK(has(frames[1], 1, upd));        // the invoke wrapper is skipped now but still takes a level
  WCHECK_EQ(callsOf(frames[1], "Game:Level2 ()"), 3);
  WCHECK_EQ(callsOf(frames[1], "Game:Level3 ()"), 0);  // past the depth limit
  for (auto& f : frames) {
    WCHECK(!anyNameStartingWith(f, "ZEMEngine:"));  // the wrapper's own API never shows
    WCHECK(!anyNameStartingWith(f, "ZemCallBack.Wrapper:"));
  }
  // A "(wrapper ...)" method written once is excluded from every later frame (by
  // method: the runtime makes several wrappers of one name).
  std::set<long long> seenWrappers;
  for (auto& f : frames) {
    for (auto& l : f) WCHECK(!seenWrappers.count(l.key));
    for (auto& l : f)
      if (l.name.compare(0, 8, "(wrapper") == 0) seenWrappers.insert(l.key);
  }
  WCHECK_EQ(callsOf(frames[1], "Physics"), 1);
  // Level 1: no depth limit; real nesting and call counts of the script.
  WCHECK_EQ(callsOf(frames[2], "Game:Level2 ()"), 3);
  WCHECK_EQ(callsOf(frames[2], "Game:Level4 ()"), 3);
  WCHECK_EQ(callsOf(frames[2], "Game:Recurse (int)"), 4);
  WCHECK(has(frames[2], 5, "Game:Helper ()"));
  WCHECK(has(frames[2], 5, "Game:Recurse (int)"));
  // The exception unwinds Thrower and Inner without leaves; the frame end clears them.
  WCHECK(has(frames[2], 3, "Game:Inner ()"));
  WCHECK(has(frames[3], 2, "Game:Thrower ()"));
  // The forced collection shows as a GC.Collect sample.
  WCHECK(callsOf(frames[3], "GC.Collect") >= 1);
  WCHECK_EQ(callsOf(frames[2], "GC.Collect"), 0);
  // Level 3: samples only.
  WCHECK_EQ(callsOf(frames[4], "Physics"), 1);
  for (auto& l : frames[4]) WCHECK(l.depth == 0 || l.name == "Physics");
  return wincheck::summary();
}
