// Painting a tile.
#include "TileWidget.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace {

long paints = 0;

QString Text(const std::string& utf8) { return QString::fromUtf8(utf8.c_str(), static_cast<int>(utf8.size())); }

// The largest bold font, up to the size asked, in which the text fits the width.
QFont FittingFont(const QFont& base, const QString& text, int pixelSize, int width) {
    QFont font = base;
    font.setBold(true);
    for (int size = pixelSize; size > 8; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).horizontalAdvance(text) <= width) break;
    }
    return font;
}

}  // namespace

TileWidget::TileWidget(QWidget* parent) : QWidget(parent) {
    setMinimumSize(220, 130);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

long TileWidget::Paints() { return paints; }

QColor TileWidget::Background(TileTone tone) { return QColor::fromRgb(ColoursOf(tone).ground); }

QColor TileWidget::Foreground(TileTone tone) { return QColor::fromRgb(ColoursOf(tone).ink); }

void TileWidget::SetTile(const StationTile& tile) {
    if (tile == tile_) return;
    tile_ = tile;
    setAccessibleName(
        Text((tile.slot > 0 ? std::to_string(tile.slot) + " " : std::string()) + tile.location + ": " + tile.word));
    setAccessibleDescription(Text(tile.serial + " " + tile.detail));
    update();
}

void TileWidget::SetSelected(bool selected) {
    if (selected == selected_) return;
    selected_ = selected;
    update();
}

void TileWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && onClicked) onClicked();
}

void TileWidget::paintEvent(QPaintEvent*) {
    ++paints;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect area = rect().adjusted(4, 4, -4, -4);
    const QColor background = Background(tile_.tone);
    const QColor foreground = Foreground(tile_.tone);
    painter.fillRect(area, background);
    if (tile_.tone == TileTone::GreenOutline) {
        painter.setPen(QPen(foreground, 8));
        painter.drawRect(area.adjusted(4, 4, -4, -4));
    }
    if (selected_) {
        painter.setPen(QPen(Qt::black, 5));
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
        painter.setPen(QPen(Qt::white, 2));
        painter.drawRect(rect().adjusted(6, 6, -7, -7));
    }
    const int h = area.height();
    const QRect inner = area.adjusted(14, 10, -14, -10);
    QFont small = font();
    small.setPixelSize(std::max(12, h / 11));
    painter.setPen(foreground);
    painter.setFont(small);
    const QString where =
        tile_.slot > 0 ? QString("%1  \u00b7  %2").arg(tile_.slot).arg(Text(tile_.location)) : QString("port unknown");
    painter.drawText(inner, Qt::AlignLeft | Qt::AlignTop, where);
    painter.drawText(inner, Qt::AlignRight | Qt::AlignTop, Text(tile_.serial));
    // The state word: large, the widest that fits.
    const QString word = Text(tile_.word);
    const QFont big = FittingFont(font(), word, std::max(16, h / 4), inner.width());
    painter.setFont(big);
    const int wordTop = inner.top() + QFontMetrics(small).height() + h / 20;
    const QRect wordArea(inner.left(), wordTop, inner.width(), QFontMetrics(big).height());
    painter.drawText(wordArea, Qt::AlignLeft | Qt::AlignVCenter, word);
    painter.setFont(small);
    int top = wordArea.bottom() + h / 25;
    if (tile_.percent >= 0) {
        const QRect bar(inner.left(), top, inner.width(), std::max(8, h / 12));
        painter.fillRect(bar, background.lighter(160));
        painter.fillRect(QRect(bar.left(), bar.top(), bar.width() * tile_.percent / 100, bar.height()), Qt::white);
        top = bar.bottom() + h / 30;
    }
    // The last line: the bytes sent and the time; above it the details, as large as fits.
    const int lineHeight = QFontMetrics(small).height();
    const QRect last(inner.left(), inner.bottom() - lineHeight, inner.width(), lineHeight);
    const QString time = Text(tile_.time);
    painter.drawText(last, Qt::AlignRight | Qt::AlignVCenter, time);
    const int room = last.width() - QFontMetrics(small).horizontalAdvance(time) - 12;
    QFont bytesFont = small;
    bytesFont.setBold(false);
    const QString bytes = Text(tile_.bytes);
    for (int size = small.pixelSize(); size > 9 && QFontMetrics(bytesFont).horizontalAdvance(bytes) > room; --size) {
        bytesFont.setPixelSize(size - 1);
    }
    painter.setFont(bytesFont);
    painter.drawText(QRect(last.left(), last.top(), room, last.height()), Qt::AlignLeft | Qt::AlignVCenter, bytes);
    painter.setFont(small);
    const QRect details(inner.left(), top, inner.width(), last.top() - top);
    QFont detailFont = small;
    const QString detail = Text(tile_.detail);
    for (int size = small.pixelSize(); size > 10; --size) {
        detailFont.setPixelSize(size);
        if (QFontMetrics(detailFont).boundingRect(details, Qt::TextWordWrap, detail).height() <= details.height())
            break;
    }
    painter.setFont(detailFont);
    painter.drawText(details, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, detail);
}
