#include "frontends/qt/FoundKeyModel.h"

#include <QFont>
#include <QGuiApplication>
#include <QPalette>

#include "frontends/qt/Pictures.h"

namespace comsweep::qt {

FoundKeyModel::FoundKeyModel(scan::FoundKeyList& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list) {}

int FoundKeyModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_list.count());
}

int FoundKeyModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

const QIcon& FoundKeyModel::icon(const std::string& key, bool ghosted) const {
  const QString name = QString::fromStdString(key);
  const QString cacheKey = ghosted ? name + QLatin1String("/ghosted") : name;
  auto it = m_icons.find(cacheKey);
  if (it == m_icons.end()) it = m_icons.insert(cacheKey, Pictures::category(name, ghosted));
  return *it;
}

QVariant FoundKeyModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const scan::FoundKey& entry = m_list.item(static_cast<std::size_t>(index.row()) + 1);
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(index.column() == 0 ? entry.name : entry.foundValue);
    case Qt::DecorationRole:
      if (index.column() == 0) return icon(entry.category, entry.kept);
      return {};
    case Qt::ForegroundRole:
      // A struck entry is drawn dimmed: its key stays in the registry.
      if (entry.kept) return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
      return {};
    case Qt::FontRole:
      if (entry.kept) {
        QFont font;
        font.setStrikeOut(true);
        return font;
      }
      return {};
    case Qt::ToolTipRole:
      return QStringLiteral("HKEY_CLASSES_ROOT\\") + QString::fromStdString(entry.path);
    default:
      return {};
  }
}

QVariant FoundKeyModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section == 0) return QStringLiteral("Key");
  if (section == 1) return QStringLiteral("Found value");
  return {};
}

void FoundKeyModel::entryChanged(int row) {
  if (row < 0 || row >= rowCount()) return;
  emit dataChanged(index(row, 0), index(row, 1));
}

}  // namespace comsweep::qt
