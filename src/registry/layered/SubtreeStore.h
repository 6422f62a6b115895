#pragma once
// One tree of a store that holds two (a .reg file's user classes beside its
// machine classes), answering as a store of its own: its root is that tree's
// top, and every key keeps the holder's id. Writing is the holder's: the
// holder's save writes the one file with both trees, so this one has
// nothing to prepare. Lay it over the holder in a LayeredStore.

#include "registry/store/Store.h"

namespace comsweep::registry {

class SubtreeStore : public Store {
 public:
  SubtreeStore(Store& holder, NodeId top) : m_holder(holder), m_top(top) {}

  NodeId root() const override { return m_top; }
  bool isLive(NodeId node) const override { return m_holder.isLive(node); }
  NodeId findChild(NodeId parent, std::string_view name) const override {
    return m_holder.findChild(parent, name);
  }
  std::uint32_t childCount(NodeId node) const override { return m_holder.childCount(node); }
  NodeId childAt(NodeId parent, std::uint32_t index) const override {
    return m_holder.childAt(parent, index);
  }
  std::string_view name(NodeId node) const override { return m_holder.name(node); }
  bool defaultValue(NodeId node, RegValue& out) const override {
    return m_holder.defaultValue(node, out);
  }
  bool defaultValueNarrow(NodeId node, DWORD& type, std::string& out) const override {
    return m_holder.defaultValueNarrow(node, type, out);
  }
  bool values(NodeId node, std::vector<NamedValue>& out) const override {
    return m_holder.values(node, out);
  }
  LONG removeLeaf(NodeId parent, NodeId child) override {
    return m_holder.removeLeaf(parent, child);
  }
  void filesHolding(NodeId node, std::vector<std::string>& out) const override {
    m_holder.filesHolding(node, out);
  }
  LONG createKey(NodeId parent, std::string_view name, NodeId& out, bool& created) override {
    return m_holder.createKey(parent, name, out, created);
  }
  LONG setValue(NodeId node, const NamedValue& value) override {
    return m_holder.setValue(node, value);
  }

 private:
  Store& m_holder;
  NodeId m_top;
};

}  // namespace comsweep::registry
