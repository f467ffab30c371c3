#include "ui/TreeImages.h"

#include <QPainter>
#include <QPainterPath>
#include <map>
#include <utility>

namespace {

constexpr int kWidth = 16;
constexpr int kHeight = 15;

QPixmap Transparent() {
    QPixmap pixmap(kWidth, kHeight);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPixmap DrawFolder(bool bOpen) {
    QPixmap pixmap = Transparent();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QColor outline(128, 96, 0);
    const QColor back(230, 180, 40);
    const QColor front(255, 220, 90);
    painter.setPen(outline);
    // The back of the folder with its tab.
    painter.setBrush(back);
    QPolygon backShape;
    backShape << QPoint(1, 3) << QPoint(6, 3) << QPoint(7, 4) << QPoint(13, 4) << QPoint(13, 12)
              << QPoint(1, 12);
    painter.drawPolygon(backShape);
    painter.setBrush(front);
    if (bOpen) {
        // The front flap tilted forward.
        QPolygon flap;
        flap << QPoint(3, 7) << QPoint(15, 7) << QPoint(13, 12) << QPoint(1, 12);
        painter.drawPolygon(flap);
    } else {
        painter.drawRect(1, 6, 12, 6);
    }
    return pixmap;
}

QPixmap DrawDisc() {
    QPixmap pixmap = Transparent();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QColor(96, 96, 96));
    painter.setBrush(QColor(160, 160, 160));
    painter.drawEllipse(QRectF(4.5, 4, 7, 7));
    return pixmap;
}

// A referral object: an arrow pointing away, to where it refers.
QPixmap DrawArrow() {
    QPixmap pixmap = Transparent();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QColor(20, 60, 140));
    painter.setBrush(QColor(70, 130, 220));
    QPolygon arrow;
    arrow << QPoint(2, 6) << QPoint(8, 6) << QPoint(8, 3) << QPoint(14, 7) << QPoint(8, 11) << QPoint(8, 8)
          << QPoint(2, 8);
    painter.drawPolygon(arrow);
    return pixmap;
}

} // namespace

QPixmap TreeImage(int nImage) {
    static const QPixmap images[4] = {DrawFolder(true), DrawFolder(false), DrawDisc(), DrawArrow()};
    if (nImage < 0 || nImage > 3)
        nImage = TREE_IMAGE_CLOSED_FOLDER;
    return images[nImage];
}

QIcon TreeItemIcon(int nImage, int nSelectedImage) {
    // Few pairs exist; build each icon once.
    static std::map<std::pair<int, int>, QIcon> cache;
    auto key = std::make_pair(nImage, nSelectedImage);
    auto it = cache.find(key);
    if (it != cache.end())
        return it->second;
    QIcon icon;
    icon.addPixmap(TreeImage(nImage), QIcon::Normal);
    icon.addPixmap(TreeImage(nSelectedImage), QIcon::Selected);
    cache.emplace(key, icon);
    return icon;
}
