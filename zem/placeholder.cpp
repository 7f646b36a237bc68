// Keeps the library non-empty until the profiler lands.
namespace zem { void placeholder() {} }
