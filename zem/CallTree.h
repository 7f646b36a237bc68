// Call trees: a node per distinct call path, keyed per level by a method
// handle or a sample identifier, with four counters.
#pragma once
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace zem {

using Key = uint32_t;  // method handle or sample identifier; 0 = none

// A 32-bit number naming an object for the whole run. On 32-bit builds it is
// the object's address; 64-bit addresses do not fit the files' 32-bit fields,
// so there a process-wide counter stands in for it.
uint32_t objectId(const void* object);

class CallNode {
 public:
  using Children = std::map<Key, std::unique_ptr<CallNode>>;
  virtual ~CallNode() = default;
  virtual CallNode* parent() const { return parent_; }
  bool sameKey(const CallNode* other) const { return other && other->key() == key(); }
  virtual void reset() { active = false; }
  virtual Key key() const = 0;
  virtual std::unique_ptr<CallNode> clone() const = 0;
  virtual void copyFrom(const CallNode& other) = 0;
  virtual void add(const CallNode& other) = 0;
  virtual bool isSample() const = 0;
  virtual bool isInsignificant() const = 0;
  virtual bool isEmpty() const = 0;

  Children children;
  CallNode* parent_ = nullptr;
  bool active = false;
};

class MonoMethodCallNode : public CallNode {
 public:
  MonoMethodCallNode(Key key, bool isSample, uint32_t seed);
  void reset() override;
  Key key() const override { return key_; }
  std::unique_ptr<CallNode> clone() const override;
  void copyFrom(const CallNode& other) override;
  void add(const CallNode& other) override;
  bool isSample() const override { return isSample_; }
  bool isInsignificant() const override { return total <= 99 && extra1 == 0; }
  bool isEmpty() const override { return total == 0 && extra1 == 0; }
  // The line a tree file holds for this node (without depth).
  const char* idLine(bool full);
  uint32_t nodeId() const { return nodeId_; }
  void setTemplate(Key key, bool isSample) {
    key_ = key;
    isSample_ = isSample;
    total = calls = extra1 = extra2 = 0;
  }

  uint32_t total = 0;
  uint32_t calls = 0;
  uint32_t extra1 = 0;
  uint32_t extra2 = 0;

 private:
  Key key_;
  bool isSample_;
  uint32_t nodeId_;
  char text_[300];
};

inline MonoMethodCallNode* asMethodNode(CallNode* n) { return static_cast<MonoMethodCallNode*>(n); }

// Adds template under parent, or merges it into the child of the same key.
MonoMethodCallNode* addChild(CallNode* parent, const MonoMethodCallNode* tmpl, bool merge);

class CallTree {
 public:
  explicit CallTree(int kind);
  ~CallTree();
  CallTree(const CallTree&) = delete;
  CallTree& operator=(const CallTree&) = delete;

  void reset();
  MonoMethodCallNode* root() { return root_.get(); }

  bool pruneInsignificant = false;
  int kind;  // 0 frame allocations, 1 all allocations, 2 CPU, 3 CPU without empty leaves
  bool fullLines = false;
  char buffer[500];  // name formatting for binary records

 private:
  std::unique_ptr<MonoMethodCallNode> root_;
};

}  // namespace zem
