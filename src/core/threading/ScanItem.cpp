#include "ScanItem.h"

#include <utility>

namespace norvane {

ScanItem::ScanItem(ScanChange change)
    : m_type(Change), m_change(std::make_unique<ScanChange>(std::move(change))) {}

ScanItem::ScanItem(Type rowType) : m_type(rowType) {
    if (rowType == NewRow)
        addToOrder(ScanChange::AppendRow);
}

void ScanItem::addToOrder(ScanChange::Kind kind) {
    m_order |= static_cast<std::uint64_t>(kind) << (m_rowChanges * OrderBits);
    ++m_rowChanges;
}

bool ScanItem::canTake(ScanChange::Kind kind) const {
    if (m_type == Change || m_rowChanges == MaxRowChanges)
        return false;
    switch (kind) {
    case ScanChange::SetCaption:
        return !(m_held & CaptionHeld);
    case ScanChange::SetImage:
        return !(m_held & ImageHeld);
    case ScanChange::SetRecord:
        return !(m_held & RecordHeld);
    case ScanChange::AddSubItem:
        return true;
    default:
        return false;
    }
}

void ScanItem::setCaption(const QString& caption) {
    m_row.caption = caption;
    m_held |= CaptionHeld;
    addToOrder(ScanChange::SetCaption);
}

void ScanItem::setImage(int image) {
    m_row.image = image;
    m_held |= ImageHeld;
    addToOrder(ScanChange::SetImage);
}

void ScanItem::addSubItem(const QString& text) {
    // Room for a computer row's sub-items at once, not grown one by one.
    if (m_row.subItems.isEmpty())
        m_row.subItems.reserve(ComputerColumnCount - 1);
    m_row.subItems << text;
    addToOrder(ScanChange::AddSubItem);
}

void ScanItem::setRecord(std::shared_ptr<const ComputerRecord> computer,
                         std::shared_ptr<const ShareRecord> share) {
    m_row.computer = std::move(computer);
    m_row.share = std::move(share);
    m_held |= RecordHeld;
    addToOrder(ScanChange::SetRecord);
}

void ScanItem::appendChangesTo(ScanChanges& into) const {
    if (m_type == Change) {
        into.push_back(*m_change);
        return;
    }
    qsizetype subItem = 0;
    for (int i = 0; i < m_rowChanges; ++i) {
        const auto kind = static_cast<ScanChange::Kind>((m_order >> (i * OrderBits)) & OrderMask);
        switch (kind) {
        case ScanChange::SetCaption:
            into.emplace_back(ScanChange::SetCaption, 0, m_row.caption);
            break;
        case ScanChange::SetImage:
            into.emplace_back(ScanChange::SetImage, m_row.image);
            break;
        case ScanChange::AddSubItem:
            into.emplace_back(ScanChange::AddSubItem, 0, m_row.subItems.at(subItem++));
            break;
        case ScanChange::SetRecord: {
            ScanChange record(ScanChange::SetRecord);
            record.computer = m_row.computer;
            record.share = m_row.share;
            into.push_back(std::move(record));
            break;
        }
        default:
            into.emplace_back(ScanChange::AppendRow);
            break;
        }
    }
}

} // namespace norvane
