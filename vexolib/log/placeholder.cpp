// Keeps the library non-empty until the log manager lands.
namespace vexolib { void placeholder() {} }
