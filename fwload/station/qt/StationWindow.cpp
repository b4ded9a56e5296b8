// The station window in Qt.
#include "StationWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <csignal>
#include <cmath>

#include "D2XX_Dyn.h"
#include "D2xxDevices.h"
#include "Durations.h"
#include "MessageBox.h"
#include "ProgramPath.h"
#include "Terminal.h"
#include "VisibleText.h"
#include "qvxFileUtils.h"
#include "qvxStrUtils.h"

namespace {

constexpr int kPollMs = 100;  // the tiles are redrawn at most this often

QString Text(const std::string& utf8) { return QString::fromUtf8(utf8.c_str(), static_cast<int>(utf8.size())); }
std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }
// What a device or a file hands us, made safe to show.
QString Shown(const std::string& system) { return Text(VisibleText(platform::SystemTextToUtf8(system))); }

StationTime Now() { return {std::chrono::steady_clock::now(), std::chrono::system_clock::now()}; }

void ShowError(const std::string& text) {
    platform::ShowMessageBox(platform::MessageBoxRequest{kStationCaption, text, platform::MessageIcon::Error, false, false});
}

// Columns for so many tiles on a wide screen: 16 as four by four.
int ColumnsFor(std::size_t tiles) {
    if (tiles <= 1) return 1;
    if (tiles <= 4) return 2;
    if (tiles <= 6) return 3;
    if (tiles <= 16) return 4;
    return static_cast<int>(std::ceil(std::sqrt(static_cast<double>(tiles))));
}

}  // namespace

StationWindow::StationWindow(StationOptions options, StationWindowServices services, QWidget* parent)
    : QWidget(parent), options_(std::move(options)), services_(std::move(services)), locked_(!options_.sha256.empty()) {
    if (!services_.browseForFile) {
        services_.browseForFile = [](QWidget* owner) {
            return QFileDialog::getOpenFileName(owner, "Firmware file", QString(), "Firmware files (*.bin);;All files (*)");
        };
    }
    if (!services_.confirm) {
        services_.confirm = [](QWidget* owner, const QString& question) {
            return QMessageBox::question(owner, kStationCaption, question, QMessageBox::Yes | QMessageBox::No,
                                         QMessageBox::No) == QMessageBox::Yes;
        };
    }
    if (services_.workerProgram.empty()) services_.workerProgram = platform::ProgramBeside("fwload-cli");
    setWindowTitle(kStationCaption);
    resize(1280, 800);
    pages_ = new QStackedWidget(this);
    pages_->addWidget(BuildSetUp());
    pages_->addWidget(BuildStation());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pages_);
    timer_ = new QTimer(this);
    timer_->setInterval(kPollMs);
    connect(timer_, &QTimer::timeout, this, [this] { Poll(); });
    FillModels();
    CheckFile();
}

StationWindow::~StationWindow() {
    // Runs still under way go on to their end in their own processes; only the records stay behind.
    if (runner_ != nullptr) UnloadD2XXLibrary();
}

QWidget* StationWindow::BuildSetUp() {
    auto* page = new QWidget(this);
    auto* form = new QFormLayout;
    model = new QComboBox(page);
    file = new QLineEdit(Text(options_.firmware), page);
    browse = new QPushButton("Browse...", page);
    operatorName = new QLineEdit(Text(options_.operatorName), page);
    facts = new QLabel(page);
    facts->setTextInteractionFlags(Qt::TextSelectableByMouse);
    facts->setWordWrap(true);
    start = new QPushButton("Start", page);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(file);
    fileRow->addWidget(browse);
    form->addRow("Model", model);
    form->addRow("Firmware file", fileRow);
    form->addRow("Operator", operatorName);
    form->addRow("To confirm", facts);
    auto* layout = new QVBoxLayout(page);
    auto* title = new QLabel("Set the job up: the model, the firmware file and who runs the line.", page);
    layout->addWidget(title);
    layout->addLayout(form);
    layout->addWidget(start, 0, Qt::AlignLeft);
    layout->addStretch();
    // With --sha256 the job is the one the line released: what the command line gave stays.
    model->setEnabled(!(locked_ && !options_.model.empty()));
    file->setEnabled(!(locked_ && !options_.firmware.empty()));
    browse->setEnabled(file->isEnabled());
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen = services_.browseForFile(this);
        if (!chosen.isEmpty()) file->setText(chosen);
    });
    connect(file, &QLineEdit::textChanged, this, [this] { CheckFile(); });
    connect(model, &QComboBox::currentTextChanged, this, [this] { CheckFile(); });
    connect(start, &QPushButton::clicked, this, [this] { StartStation(); });
    return page;
}

QWidget* StationWindow::BuildStation() {
    auto* page = new QWidget(this);
    job = new QLabel(page);
    sha256 = new QLabel(page);
    sha256->setTextInteractionFlags(Qt::TextSelectableByMouse);
    tally = new QLabel(page);
    QFont large = tally->font();
    large.setPixelSize(24);
    large.setBold(true);
    tally->setFont(large);
    QFont header = job->font();
    header.setPixelSize(16);
    job->setFont(header);
    sha256->setFont(header);
    retry = new QPushButton("Retry", page);
    stopAll = new QPushButton("Stop all", page);
    changeJob = new QPushButton("Change job", page);
    changeJob->setVisible(!locked_);
    events = new QPlainTextEdit(page);
    events->setReadOnly(true);
    events->setMaximumBlockCount(500);
    events->setFixedHeight(90);
    auto* tileArea = new QWidget(page);
    grid_ = new QGridLayout(tileArea);
    grid_->setSpacing(6);
    auto* top = new QHBoxLayout;
    auto* jobLines = new QVBoxLayout;
    jobLines->addWidget(job);
    jobLines->addWidget(sha256);
    top->addLayout(jobLines, 1);
    top->addWidget(changeJob);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(tally, 1);
    bottom->addWidget(retry);
    bottom->addWidget(stopAll);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(top);
    layout->addWidget(tileArea, 1);
    layout->addLayout(bottom);
    layout->addWidget(events);
    connect(retry, &QPushButton::clicked, this, [this] { RetrySelected(); });
    connect(stopAll, &QPushButton::clicked, this, [this] { StopAll(); });
    connect(changeJob, &QPushButton::clicked, this, [this] { ChangeJob(); });
    return page;
}

void StationWindow::FillModels() {
    const std::string ini = options_.ini.empty() ? platform::ProgramDirectory() + "fwload.ini" : options_.ini;
    model->clear();
    std::vector<std::string> sections;
    IniReadSections(ini, sections);
    for (const std::string& section : sections) model->addItem(Shown(section), Text(section));
    std::string problem;
    if (const std::optional<std::string> given = ResolveModel(ini, options_.model, problem)) {
        model->setCurrentIndex(model->findData(Text(*given)));
    }
}

void StationWindow::CheckFile() {
    const std::string path = Utf8(file->text());
    FirmwareFacts read;
    bool usable = false;
    if (path.empty()) {
        facts->setText("Choose the firmware file.");
    } else if (const std::optional<std::string> problem = ReadFirmwareFacts(path, read)) {
        facts->setText(Shown(*problem));
    } else if (!read.header) {
        facts->setText("Not card printer firmware: " + Shown(path));
    } else if (const std::optional<std::string> problem = PinnedSha256Problem(path, read, options_.sha256)) {
        facts->setText(Shown(*problem));
    } else {
        facts->setText(QString("Size %1 bytes     Byte sum %2\nSHA-256 %3")
                           .arg(Text(FormatWithThousands(read.size)), Text(Hex4(read.image.byteSum)), Text(read.sha256)));
        usable = true;
    }
    start->setEnabled(usable && model->currentIndex() >= 0);
}

bool StationWindow::StartStation() {
    if (runner_ != nullptr) return true;
    if (model->currentIndex() >= 0) options_.model = Utf8(model->currentData().toString());
    options_.firmware = Utf8(file->text());
    options_.operatorName = Utf8(operatorName->text());
    if (const std::optional<std::string> problem = CheckStationOptions(options_)) {
        ShowError(*problem);
        return false;
    }
    log_ = std::make_unique<StationLog>();
    std::string problem;
    int exitCode = 0;
    nlohmann::json fields;
    std::optional<StationStart> prepared = PrepareStation(options_, services_.workerProgram, *log_, problem, exitCode, fields);
    if (!prepared) {
        ShowError(problem);
        return false;
    }
    if (!LoadD2XXLibrary()) {
        ShowError(DriverMissingText());
        return false;
    }
    start_ = std::make_unique<StationStart>(std::move(*prepared));
    station_ = std::make_unique<StationModel>(start_->rules, start_->memory.passed);
    station_->ExpectPorts(options_.locations);
    hooks_ = std::make_unique<EndHooks>(options_.onEnd, std::chrono::seconds(options_.onEndTimeout));
    StationRunner::Listener& listener = *this;
    runner_ = std::make_unique<StationRunner>(*station_, start_->setup, options_.locationIds, *log_, start_->job, *hooks_,
                                              listener);
    const StationJob& theJob = start_->job;
    job->setText(QString("%1     %2     %3 bytes     byte sum %4     %5%6")
                     .arg(Shown(theJob.model), Shown(theJob.file), Text(FormatWithThousands(theJob.size)),
                          Text(Hex4(theJob.byteSum)), Text(theJob.mode),
                          theJob.operatorName.empty() ? QString() : "     operator " + Shown(theJob.operatorName)));
    sha256->setText("SHA-256 " + Text(theJob.sha256.substr(0, 16)) + "\u2026");
    sha256->setToolTip("SHA-256 " + Text(theJob.sha256));
    for (const std::string& line : start_->memory.problems) Say(Shown(line));
    if (!start_->memory.passed.empty()) {
        Say(QString("The log remembers %1 printers that passed with this firmware.").arg(start_->memory.passed.size()));
    }
    finished_ = false;
    started_ = std::chrono::steady_clock::now();
    pages_->setCurrentIndex(1);
    timer_->start();
    Poll();
    return true;
}

void StationWindow::LayOutTiles(std::size_t count) {
    while (tiles.size() > count) {
        delete tiles.back();
        tiles.pop_back();
    }
    while (tiles.size() < count) {
        auto* tile = new TileWidget(grid_->parentWidget());
        const int index = static_cast<int>(tiles.size());
        tile->onClicked = [this, index] { Select(index); };
        tiles.push_back(tile);
    }
    const int columns = ColumnsFor(count);
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        grid_->addWidget(tiles[i], static_cast<int>(i) / columns, static_cast<int>(i) % columns);
    }
    if (selected_ >= static_cast<int>(count)) selected_ = -1;
    if (selected_ < 0 && count > 0) Select(0);
}

void StationWindow::Select(int index) {
    if (index < 0 || index >= static_cast<int>(tiles.size())) return;
    if (selected_ >= 0 && selected_ < static_cast<int>(tiles.size())) tiles[static_cast<std::size_t>(selected_)]->SetSelected(false);
    selected_ = index;
    tiles[static_cast<std::size_t>(index)]->SetSelected(true);
    retry->setEnabled(tiles[static_cast<std::size_t>(index)]->Tile().retryable && station_ != nullptr && station_->Starting());
}

void StationWindow::Poll() {
    if (runner_ == nullptr) return;
    const StationTime now = Now();
    runner_->Poll(now);
    const std::vector<StationTile> looks = StationTiles(*station_, now.steady);
    if (looks.size() != tiles.size()) LayOutTiles(looks.size());
    for (std::size_t i = 0; i < looks.size(); ++i) tiles[i]->SetTile(looks[i]);
    const StationTally counts = Tally(*station_, now.wall);
    tally->setText(Text(TallyText(counts)) + (runner_->Stopping() && counts.running > 0 ? "   stopping" : ""));
    const bool busy = counts.running > 0;
    stopAll->setEnabled(!runner_->Stopping() && (busy || station_->Starting()));
    changeJob->setEnabled(!busy && runner_->HooksRunning() == 0);
    Select(selected_);
    if (station_->Finished() && runner_->HooksRunning() == 0 && !finished_) Finish();
    if (closing_ && finished_) close();
}

void StationWindow::Finish() {
    finished_ = true;
    timer_->stop();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    for (const std::string& problem : WriteStationReports(options_, start_->job, *station_, seconds)) Say(Shown(problem));
    const StationCounts counts = station_->Counts();
    Say(QString("Done: %1 passed, %2 failed%3.")
            .arg(counts.passed)
            .arg(counts.failed)
            .arg(runner_->Stopping() ? "; stopped by hand" : !runner_->RecordProblem().empty() ? "; a record could not be kept" : ""));
    stopAll->setEnabled(false);
    retry->setEnabled(false);
}

void StationWindow::RetrySelected() {
    if (station_ == nullptr || selected_ < 0 || selected_ >= static_cast<int>(tiles.size())) return;
    const StationTile& tile = tiles[static_cast<std::size_t>(selected_)]->Tile();
    if (!tile.retryable || !tile.printer || !station_->Retry(*tile.printer)) return;
    Say("Retry: " + Text(tile.serial) + " at " + Text(tile.location));
    Poll();
}

void StationWindow::StopAll() {
    if (runner_ == nullptr || runner_->Stopping()) return;
    Say("Stop all: every run stops as soon as it may (the write to memory first).");
    runner_->StopAll(SIGINT);
    Poll();
}

void StationWindow::ChangeJob() {
    if (runner_ == nullptr || station_->Counts().running > 0) return;
    if (!finished_) Finish();
    runner_.reset();
    hooks_.reset();
    station_.reset();
    start_.reset();
    log_.reset();
    UnloadD2XXLibrary();
    LayOutTiles(0);
    selected_ = -1;
    pages_->setCurrentIndex(0);
    FillModels();
    CheckFile();
}

void StationWindow::closeEvent(QCloseEvent* event) {
    if (runner_ == nullptr || finished_) {
        event->accept();
        return;
    }
    event->ignore();
    if (closing_) return;  // closes once the runs under way have ended
    const std::size_t running = station_->Counts().running;
    if (running == 0) {
        runner_->StopAll(SIGINT);
        closing_ = true;
        Poll();
        return;
    }
    const QString question = running == 1 ? "Stop 1 download and close?" : QString("Stop %1 downloads and close?").arg(running);
    if (!services_.confirm(this, question)) return;
    closing_ = true;
    StopAll();
}

void StationWindow::keyPressEvent(QKeyEvent* event) {
    const int columns = ColumnsFor(tiles.size());
    switch (event->key()) {
        case Qt::Key_Left: Select(selected_ - 1); return;
        case Qt::Key_Right: Select(selected_ + 1); return;
        case Qt::Key_Up: Select(selected_ - columns); return;
        case Qt::Key_Down: Select(selected_ + columns); return;
        case Qt::Key_Return:
        case Qt::Key_Enter: RetrySelected(); return;
        default: QWidget::keyPressEvent(event);
    }
}

void StationWindow::Say(const QString& line) {
    events->appendPlainText(QDateTime::currentDateTime().toString("HH:mm:ss") + "  " + line);
}

void StationWindow::Noticed(const StationNotice& notice) {
    using Kind = StationNotice::Kind;
    if (notice.kind == Kind::Attached || notice.kind == Kind::Removed || notice.kind == Kind::Restarting ||
        notice.kind == Kind::Restarted) {
        return;  // the tiles show these
    }
    const bool aboutOne = notice.printer < station_->Printers().size();
    const QString who = aboutOne ? Shown(station_->Printers()[notice.printer].serial) + " at " +
                                       Text(station_->Printers()[notice.printer].location) + ": "
                                 : QString();
    Say(who + Shown(notice.text));
}

void StationWindow::Ended(std::size_t printer, const AttemptRecord& record) {
    const StationPrinter& which = station_->Printers()[printer];
    Say(Shown(which.serial) + " at " + Text(which.location) + ": " + (record.Passed() ? "passed" : "failed") + ", " +
        Text(MinutesSeconds(static_cast<double>(record.durationMs) / 1000.0)) + ": " + Shown(record.message));
}

void StationWindow::RecordFailed(const std::string& problem) {
    Say(Shown(problem) + ": the record could not be kept, so no further printer is flashed");
}

void StationWindow::HookFailed(const std::string& problem) { Say(Shown(problem)); }
