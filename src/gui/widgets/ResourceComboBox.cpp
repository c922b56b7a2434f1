#include "ResourceComboBox.h"

#include "ImageList.h"
#include "ResourceItemPainter.h"

#include <QKeyEvent>
#include <QStylePainter>

namespace norvane {

namespace {
QPixmap imageAt(const QList<QPixmap>& images, int index) {
    return index >= 0 && index < images.size() ? images.at(index) : QPixmap();
}
} // namespace

ResourceItemDelegate::ResourceItemDelegate(const QList<QPixmap>& images, QObject* parent)
    : QStyledItemDelegate(parent), m_images(images) {}

void ResourceItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    const QRect itemRect(option.rect.topLeft(), QSize(option.rect.width(), ResourceItemHeight));
    const ResourceItemState state{option.state.testFlag(QStyle::State_Selected),
                                  option.state.testFlag(QStyle::State_Selected) &&
                                      option.state.testFlag(QStyle::State_HasFocus)};
    cboResourceDrawItem(*painter, itemRect, imageAt(m_images, index.row()),
                        index.data(Qt::DisplayRole).toString(), option.font, option.palette, state);
}

QSize ResourceItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
    const QFontMetrics metrics(option.font);
    const QRect textRect =
        resourceItemTextRect(QRect(0, 0, 0, ResourceItemHeight), SmallImageSize,
                             metrics.horizontalAdvance(index.data(Qt::DisplayRole).toString()));
    return {textRect.right() + 1, ResourceItemHeight};
}

ResourceComboBox::ResourceComboBox(const QList<QPixmap>& images, QWidget* parent)
    : QComboBox(parent), m_images(images) {
    setEditable(false);
    setItemDelegate(new ResourceItemDelegate(m_images, this));
}

void ResourceComboBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        emit returnPressed();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void ResourceComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (currentIndex() < 0)
        return;
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    const QRect itemRect(QPoint(field.left(), field.center().y() - ResourceItemHeight / 2 + 1),
                         QSize(field.width(), ResourceItemHeight));
    cboResourceDrawItem(painter, itemRect, imageAt(m_images, currentIndex()), currentText(), font(),
                        palette(), {hasFocus(), hasFocus()});
}

} // namespace norvane
