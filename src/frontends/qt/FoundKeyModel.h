#pragma once
// The found-key list as the model of the review window's report-style list.
// Rows are the list's positions in its current order, so what the operator
// sees is the order in which the removal removes and logs. The list itself
// stays the source of truth; the model only reads it.

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>

#include "scan/FoundKeyList.h"

namespace comsweep::qt {

class FoundKeyModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit FoundKeyModel(scan::FoundKeyList& list, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The entry at `row` was struck or unstruck.
  void entryChanged(int row);
  // Bracket a change of the list's order made behind the model's back.
  void beginReorder() { beginResetModel(); }
  void endReorder() { endResetModel(); }

 private:
  const QIcon& icon(const std::string& key, bool ghosted) const;

  scan::FoundKeyList& m_list;
  mutable QHash<QString, QIcon> m_icons;
};

}  // namespace comsweep::qt
