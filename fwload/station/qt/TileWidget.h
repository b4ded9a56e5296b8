// One tile of the station window: a port's state word in large letters on its colour, the slot and
// port, the printer's serial number and the details, made to be read from two metres away.
#pragma once

#include <QWidget>
#include <functional>

#include "StationTiles.h"

class TileWidget : public QWidget {
public:
    explicit TileWidget(QWidget* parent = nullptr);

    // Shows the tile; repaints only when something on it changed.
    void SetTile(const StationTile& tile);
    const StationTile& Tile() const { return tile_; }
    void SetSelected(bool selected);
    bool Selected() const { return selected_; }
    // Called when the tile is clicked.
    std::function<void()> onClicked;

    // How many times any tile was painted (the benchmark counts redraws).
    static long Paints();

    // The colours a tone is painted in.
    static QColor Background(TileTone tone);
    static QColor Foreground(TileTone tone);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    StationTile tile_;
    bool selected_ = false;
};
