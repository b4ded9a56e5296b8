// The station window in Qt.
#include "StationWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

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

void ShowError(const std::string& text) {
    platform::ShowMessageBox(
        platform::MessageBoxRequest{kStationCaption, text, platform::MessageIcon::Error, false, false});
}

}  // namespace

namespace {

// The worker program the services name, else the fwload-cli beside this program.
std::string Worker(const StationWindowServices& services) {
    return services.workerProgram.empty() ? platform::ProgramBeside("fwload-cli") : services.workerProgram;
}

}  // namespace

StationWindow::StationWindow(StationOptions options, StationWindowServices services, QWidget* parent)
    : QWidget(parent),
      options_(std::move(options)),
      services_(std::move(services)),
      locked_(!options_.sha256.empty()),
      controller_(Worker(services_)) {
    controller_.onEvent = [this](const std::string& line) { Say(line); };
    if (!services_.browseForFile) {
        services_.browseForFile = [](QWidget* owner) {
            return QFileDialog::getOpenFileName(owner, "Firmware file", QString(),
                                                "Firmware files (*.bin);;All files (*)");
        };
    }
    if (!services_.confirm) {
        services_.confirm = [](QWidget* owner, const QString& question) {
            return QMessageBox::question(owner, kStationCaption, question, QMessageBox::Yes | QMessageBox::No,
                                         QMessageBox::No) == QMessageBox::Yes;
        };
    }
    setWindowTitle(kStationCaption);
    setWindowIcon(QIcon(":/fwload-station/icon128.png"));
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

StationWindow::~StationWindow() = default;

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
    connect(retry, &QPushButton::clicked, this, [this] {
        controller_.Retry(selected_);
        Poll();
    });
    connect(stopAll, &QPushButton::clicked, this, [this] {
        controller_.StopAll();
        Poll();
    });
    connect(changeJob, &QPushButton::clicked, this, [this] {
        controller_.ChangeJob();
        LayOutTiles(0);
        selected_ = -1;
        timer_->stop();
        pages_->setCurrentIndex(0);
        FillModels();
        CheckFile();
    });
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
        facts->setText(
            QString("Size %1 bytes     Byte sum %2\nSHA-256 %3")
                .arg(Text(FormatWithThousands(read.size)), Text(Hex4(read.image.byteSum)), Text(read.sha256)));
        usable = true;
    }
    start->setEnabled(usable && model->currentIndex() >= 0);
}

bool StationWindow::StartStation() {
    if (controller_.Started()) return true;
    if (model->currentIndex() >= 0) options_.model = Utf8(model->currentData().toString());
    options_.firmware = Utf8(file->text());
    options_.operatorName = Utf8(operatorName->text());
    const std::string problem = controller_.Start(options_);
    if (!problem.empty()) {
        ShowError(problem);
        return false;
    }
    job->setText(Text(controller_.JobLine()));
    sha256->setText(Text(controller_.ShortSha256()));
    sha256->setToolTip(Text(controller_.Sha256()));
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
    const int columns = TileColumns(count);
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        grid_->addWidget(tiles[i], static_cast<int>(i) / columns, static_cast<int>(i) % columns);
    }
    if (selected_ >= static_cast<int>(count)) selected_ = -1;
    if (selected_ < 0 && count > 0) Select(0);
}

void StationWindow::Select(int index) {
    if (index < 0 || index >= static_cast<int>(tiles.size())) return;
    if (selected_ >= 0 && selected_ < static_cast<int>(tiles.size()))
        tiles[static_cast<std::size_t>(selected_)]->SetSelected(false);
    selected_ = index;
    tiles[static_cast<std::size_t>(index)]->SetSelected(true);
    ShowButtons();
}

void StationWindow::ShowButtons() {
    retry->setEnabled(controller_.CanRetry(selected_));
    stopAll->setEnabled(controller_.CanStopAll());
    changeJob->setEnabled(controller_.CanChangeJob());
}

void StationWindow::Poll() {
    controller_.Poll();
    const std::vector<StationTile>& looks = controller_.Tiles();
    if (looks.size() != tiles.size()) LayOutTiles(looks.size());
    for (std::size_t i = 0; i < looks.size(); ++i) tiles[i]->SetTile(looks[i]);
    tally->setText(Text(controller_.Tally()));
    ShowButtons();
    if (controller_.Finished()) timer_->stop();
    if (controller_.ShouldClose()) close();
}

void StationWindow::closeEvent(QCloseEvent* event) {
    switch (controller_.CloseRequested()) {
        case StationController::Closing::Close: event->accept(); return;
        case StationController::Closing::Wait: event->ignore(); return;
        case StationController::Closing::Ask: break;
    }
    event->ignore();
    if (!services_.confirm(this, Text(controller_.CloseQuestion()))) return;
    controller_.CloseConfirmed();
    Poll();
}

void StationWindow::keyPressEvent(QKeyEvent* event) {
    const int columns = TileColumns(tiles.size());
    switch (event->key()) {
        case Qt::Key_Left: Select(selected_ - 1); return;
        case Qt::Key_Right: Select(selected_ + 1); return;
        case Qt::Key_Up: Select(selected_ - columns); return;
        case Qt::Key_Down: Select(selected_ + columns); return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            controller_.Retry(selected_);
            Poll();
            return;
        default: QWidget::keyPressEvent(event);
    }
}

void StationWindow::Say(const std::string& line) {
    events->appendPlainText(QDateTime::currentDateTime().toString("HH:mm:ss") + "  " + Text(line));
}
