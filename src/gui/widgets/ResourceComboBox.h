#pragma once

// The resource type box: a drop-down list whose items (and the closed box)
// are drawn by cboResourceDrawItem from the list images. Enter in the box is
// reported instead of being left to the box.

#include <QComboBox>
#include <QList>
#include <QPixmap>
#include <QStyledItemDelegate>

namespace norvane {

class ResourceItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    ResourceItemDelegate(const QList<QPixmap>& images, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const QList<QPixmap>& m_images;
};

class ResourceComboBox : public QComboBox {
    Q_OBJECT
public:
    // `images` must outlive the box; item i is drawn with image i.
    explicit ResourceComboBox(const QList<QPixmap>& images, QWidget* parent = nullptr);

signals:
    void returnPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    const QList<QPixmap>& m_images;
};

} // namespace norvane
