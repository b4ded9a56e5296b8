// The station window: a line operator's view of fwload-cli station. A set-up panel when the job is
// not given (the model, the firmware file, the operator, and the file's facts to confirm), then a
// tile per port over the station model, the job and its tallies above them, Retry and Stop all by
// hand. The window shows the model and forwards clicks; the model and its runner decide, polled
// from the window's timer.
#pragma once

#include <QString>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "StationController.h"
#include "StationOptions.h"
#include "TileWidget.h"

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTimer;

// What the window takes from its surroundings; the defaults are the real ones.
struct StationWindowServices {
    std::function<QString(QWidget*)> browseForFile;                  // default: a file dialog for *.bin
    std::function<bool(QWidget*, const QString& question)> confirm;  // default: a Yes/No box
    std::string workerProgram;                                       // default: fwload-cli beside the program
};

class StationWindow : public QWidget {
public:
    explicit StationWindow(StationOptions options, StationWindowServices services = {}, QWidget* parent = nullptr);
    ~StationWindow() override;
    StationWindow(const StationWindow&) = delete;
    StationWindow& operator=(const StationWindow&) = delete;

    // The set-up panel.
    QComboBox* model;
    QLineEdit* file;
    QPushButton* browse;
    QLineEdit* operatorName;
    QLabel* facts;
    QPushButton* start;
    // The station.
    QLabel* job;
    QLabel* sha256;
    QLabel* tally;
    QPushButton* retry;
    QPushButton* stopAll;
    QPushButton* changeJob;
    QPlainTextEdit* events;
    std::vector<TileWidget*> tiles;

    // Starts the station with the set-up's choices, as the Start button does; false (having said
    // why in a box) when it cannot start.
    bool StartStation();
    // The timer's tick: the station's poll, then the tiles, tallies and buttons.
    void Poll();
    const StationModel* Model() const { return controller_.Model(); }
    int Selected() const { return selected_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* BuildSetUp();
    QWidget* BuildStation();
    void FillModels();
    void CheckFile();  // the facts of the file chosen, and whether Start may be pressed
    void Say(const std::string& line);
    void Select(int index);
    void LayOutTiles(std::size_t count);
    void ShowButtons();

    StationOptions options_;
    StationWindowServices services_;
    const bool locked_;  // --sha256: the job is the one the line released
    StationController controller_;
    QStackedWidget* pages_;
    QGridLayout* grid_;
    QTimer* timer_;
    int selected_ = -1;
};
