// Writes call trees as "depth,node,key,total,calls[,extra1,extra2]" lines and
// names each key once per run in the tree identifier file; samples that were
// never registered are listed in the unregistered-sample file.
#pragma once
#include <cstdio>
#include <string>
#include <unordered_set>

#include "CallTree.h"
#include "Names.h"
#include "records/RecordWriter.h"
#include "Samples.h"

namespace zem {

// Names method nodes; the managed runtime binding provides it.
class MethodNames {
 public:
  virtual ~MethodNames() = default;
  virtual std::string displayName(Key method) = 0;
  // Each method name as it is written to the tree identifier file.
  virtual void nameWritten(Key method, const std::string& name) = 0;
};

class TreeWriter {
 public:
  TreeWriter(Names& names, const Samples& samples, RecordWriter& records)
      : names_(names), samples_(samples), records_(records) {}
  ~TreeWriter();

  // Closes both identifier files and opens the given ones (null: stays closed).
  void openIdFiles(const char* treeIdPath, const char* unregisteredPath);
  void write(CallTree& tree, OutFile& f, bool mainFlag);
  void flushIdFiles();
  void setMethodNames(MethodNames* names) { methodNames_ = names; }
  void closeTreeIdFile(int& rc) { closeFile(treeIdFile_, rc); }
  void closeUnregisteredFile(int& rc) { closeFile(unregFile_, rc); }

 private:
  void writeKeyName(const MonoMethodCallNode& n, int depth, bool mainFlag);

  Names& names_;
  const Samples& samples_;
  RecordWriter& records_;
  MethodNames* methodNames_ = nullptr;
  OutFile treeIdFile_;
  OutFile unregFile_;
  std::unordered_set<Key> writtenKeys_;
};

}  // namespace zem
