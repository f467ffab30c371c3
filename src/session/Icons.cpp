#include "session/Icons.h"

#include "session/Commands.h"

#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kInk(40, 40, 48);
const QColor kEntry(52, 101, 164);
const QColor kAttribute(78, 154, 6);
const QColor kAlert(204, 0, 0);

QPixmap NewPixmap(int nSize = 16) {
    QPixmap pixmap(nSize, nSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A small tree: a parent node with two children.
void DrawTree(QPainter& p, const QColor& color) {
    p.setPen(QPen(kInk, 1));
    p.drawLine(3, 5, 3, 12);
    p.drawLine(3, 8, 7, 8);
    p.drawLine(3, 12, 7, 12);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRect(1, 1, 5, 4);
    p.drawRect(7, 6, 4, 4);
    p.drawRect(7, 10, 4, 4);
}

// Rows of a list: name and value columns.
void DrawRows(QPainter& p, const QColor& color) {
    p.setPen(Qt::NoPen);
    for (int y = 2; y <= 11; y += 3) {
        p.setBrush(color);
        p.drawRect(1, y, 4, 2);
        p.setBrush(QColor(150, 150, 160));
        p.drawRect(6, y, 6, 2);
    }
}

void DrawPlus(QPainter& p) {
    p.setPen(QPen(kAttribute.darker(120), 2));
    p.drawLine(12, 9, 12, 15);
    p.drawLine(9, 12, 15, 12);
}

void DrawMinus(QPainter& p) {
    p.setPen(QPen(kAlert, 2));
    p.drawLine(9, 12, 15, 12);
}

void DrawPencil(QPainter& p) {
    p.setPen(QPen(QColor(196, 160, 0), 2));
    p.drawLine(9, 15, 15, 9);
    p.setPen(QPen(kInk, 1));
    p.drawPoint(9, 15);
}

QPixmap DrawCommand(UINT nID) {
    QPixmap pixmap = NewPixmap();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, false);
    switch (nID) {
    case ID_FILE_OPEN_SOURCE: // a plug going into a socket
        p.setPen(Qt::NoPen);
        p.setBrush(kEntry);
        p.drawRect(1, 5, 7, 6);
        p.setPen(QPen(kInk, 2));
        p.drawLine(8, 6, 12, 6);
        p.drawLine(8, 10, 12, 10);
        p.setPen(QPen(kAttribute, 2));
        p.drawLine(13, 3, 13, 13);
        break;
    case ID_TB_CLOSE: // the plug pulled out
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(130, 130, 140));
        p.drawRect(1, 5, 6, 6);
        p.setPen(QPen(kAlert, 2));
        p.drawLine(9, 4, 15, 12);
        p.drawLine(15, 4, 9, 12);
        break;
    case ID_TB_REFRESH: { // a circular arrow
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(kAttribute.darker(110), 2));
        p.drawArc(QRectF(2.5, 2.5, 11, 11), 90 * 16, 270 * 16);
        QPainterPath head;
        head.moveTo(8, 0.5);
        head.lineTo(12, 3);
        head.lineTo(8, 5.5);
        head.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(kAttribute.darker(110));
        p.drawPath(head);
        break;
    }
    case ID_FILE_STOP: { // an octagon
        p.setRenderHint(QPainter::Antialiasing, true);
        const QPointF points[8] = {{5, 1}, {11, 1}, {15, 5}, {15, 11}, {11, 15}, {5, 15}, {1, 11}, {1, 5}};
        p.setPen(QPen(kAlert.darker(130), 1));
        p.setBrush(kAlert);
        p.drawPolygon(points, 8);
        p.setPen(QPen(Qt::white, 2));
        p.drawLine(5, 8, 11, 8);
        break;
    }
    case ID_TB_SAVE_LDIF: // a page with text lines and a down arrow
        p.setPen(QPen(kInk, 1));
        p.setBrush(Qt::white);
        p.drawRect(2, 1, 9, 13);
        p.drawLine(4, 4, 9, 4);
        p.drawLine(4, 6, 9, 6);
        p.drawLine(4, 8, 7, 8);
        p.setPen(QPen(kEntry, 2));
        p.drawLine(13, 6, 13, 14);
        p.drawLine(11, 12, 13, 14);
        p.drawLine(15, 12, 13, 14);
        break;
    case ID_TB_ADD_ENTRY:
        DrawTree(p, kEntry);
        DrawPlus(p);
        break;
    case ID_TB_DELETE_ENTRY:
        DrawTree(p, kEntry);
        DrawMinus(p);
        break;
    case ID_TB_MODIFY_ENTRY:
        DrawTree(p, kEntry);
        DrawPencil(p);
        break;
    case ID_TB_ADD_ATTRIBUTES:
        DrawRows(p, kAttribute);
        DrawPlus(p);
        break;
    case ID_TB_DELETE_ATTRIBUTE:
        DrawRows(p, kAttribute);
        DrawMinus(p);
        break;
    case ID_TB_MODIFY_ATTRIBUTE:
        DrawRows(p, kAttribute);
        DrawPencil(p);
        break;
    case ID_HELP_CONTENTS: { // a question mark in a disc
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        p.setBrush(kEntry);
        p.drawEllipse(QRectF(1, 1, 14, 14));
        p.setPen(Qt::white);
        QFont font = p.font();
        font.setPixelSize(12);
        font.setBold(true);
        p.setFont(font);
        p.drawText(QRect(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    default:
        p.end();
        return QPixmap();
    }
    p.end();
    return pixmap;
}

void DrawProgramPicture(QPainter& p, int nSize) {
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal u = nSize / 32.0;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(238, 242, 248));
    p.drawRoundedRect(QRectF(0.5 * u, 0.5 * u, 31 * u, 31 * u), 5 * u, 5 * u);
    p.setPen(QPen(kInk, 1.6 * u));
    p.drawLine(QPointF(9 * u, 11 * u), QPointF(9 * u, 25 * u));
    p.drawLine(QPointF(9 * u, 17 * u), QPointF(17 * u, 17 * u));
    p.drawLine(QPointF(9 * u, 25 * u), QPointF(17 * u, 25 * u));
    p.setPen(Qt::NoPen);
    p.setBrush(kEntry);
    p.drawRoundedRect(QRectF(4 * u, 4 * u, 12 * u, 8 * u), 1.5 * u, 1.5 * u);
    p.setBrush(kAttribute);
    p.drawRoundedRect(QRectF(17 * u, 13.5 * u, 11 * u, 7 * u), 1.5 * u, 1.5 * u);
    p.drawRoundedRect(QRectF(17 * u, 21.5 * u, 11 * u, 7 * u), 1.5 * u, 1.5 * u);
}

} // namespace

QIcon MakeCommandIcon(UINT nID) {
    QPixmap pixmap = DrawCommand(nID);
    return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}

QIcon MakeProgramIcon() {
    QIcon icon;
    // The larger sizes keep it sharp on a display scaled by two.
    for (int nSize : {16, 32, 48, 64, 96}) {
        QPixmap pixmap = NewPixmap(nSize);
        QPainter p(&pixmap);
        DrawProgramPicture(p, nSize);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QImage RenderProgramImage(int nSize) {
    QImage image(nSize, nSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    DrawProgramPicture(p, nSize);
    p.end();
    return image;
}

QPixmap MakeLoginPicture() {
    QPixmap pixmap = NewPixmap(48);
    QPainter p(&pixmap);
    DrawProgramPicture(p, 48);
    p.end();
    return pixmap;
}

QPixmap MakeLockPicture() {
    QPixmap pixmap = NewPixmap(16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // The shackle, then the body over its ends.
    p.setPen(QPen(kInk, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(4.5, 1.5, 7, 9), 3.5, 3.5);
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(237, 212, 0));
    p.drawRect(QRectF(2.5, 7.5, 11, 7));
    p.end();
    return pixmap;
}
