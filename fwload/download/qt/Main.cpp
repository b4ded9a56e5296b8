// The main window of fwload: its controls, its lifecycle and the hand-over to the download.
#include "Main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

#include "Clock.h"

TFrmMain* FrmMain = nullptr;

namespace {

constexpr int kClientWidth = 405;
constexpr int kClientHeight = 200;
constexpr int kBrowseButtonWidth = 21;

bool IsEnterKey(const QKeyEvent& key) { return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter; }

// Keys the window takes as Windows does: Enter presses the focused push button, and Alt+Down in
// the file edit opens its browse dialog (the browse button itself takes no focus).
class KeyboardShortcuts : public QObject {
public:
    explicit KeyboardShortcuts(TFrmMain& form) : QObject(&form), form_(form) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (auto* button = qobject_cast<QPushButton*>(watched); button != nullptr && IsEnterKey(key)) {
            if (!key.isAutoRepeat() && button->isEnabled()) button->click();
            return true;
        }
        if (watched == form_.edtFilename && key.key() == Qt::Key_Down && key.modifiers() == Qt::AltModifier) {
            form_.BrowseClick();
            return true;
        }
        return false;
    }

private:
    TFrmMain& form_;
};

// Timer1 and the window's message loop, as Qt provides them.
class QtWindowClock : public WindowClock {
public:
    explicit QtWindowClock(QTimer& timer) : timer_(timer) {}
    void SetTimerInterval(unsigned milliseconds) override { timer_.setInterval(static_cast<int>(milliseconds)); }
    void SetTimerEnabled(bool enabled) override {
        if (!enabled) timer_.stop();
        else if (!timer_.isActive()) timer_.start();
    }
    void PumpMessages() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
    void WaitForMessages() override { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }
    void Sleep(unsigned milliseconds) override { platform::SleepMilliseconds(milliseconds); }

private:
    QTimer& timer_;
};

QString FromProgramText(const std::string& text) { return QString::fromLocal8Bit(text.c_str()); }
std::string ToProgramText(const QString& text) { return text.toLocal8Bit().toStdString(); }

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption, int left, int top) {
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(left, top);
    label->adjustSize();
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int left, bool enabled) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, 159, 78, 25);
    button->setEnabled(enabled);
    return button;
}

}  // namespace

TFrmMain::TFrmMain(TFrmMainServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      engine(*this),
      services_(std::move(services)),
      rules_(*this, *this, engine, services_) {
    FrmMain = this;
    if (!services_.browseForFile) {
        services_.browseForFile = [](QWidget* owner) {
            return QFileDialog::getOpenFileName(owner, QString(), QString(), QStringLiteral("Binary files (*.bin)"));
        };
    }
    CreateControls();
    if (services_.clock != nullptr) {
        clock_ = services_.clock;
    } else {
        ownClock_ = std::make_unique<QtWindowClock>(*Timer1);
        clock_ = ownClock_.get();
    }
    clock_->onTick = [this] { Timer1Timer(); };
    FormCreate();
}

TFrmMain::~TFrmMain() {
    FormDestroy();
    clock_->onTick = nullptr;
    if (FrmMain == this) FrmMain = nullptr;
}

void TFrmMain::CreateControls() {
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QStringLiteral("Card Printer Firmware Download Program"));
    setWindowIcon(QIcon(QStringLiteral(":/fwload/icon128.png")));
    QFont font(QStringLiteral("Tahoma"));
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(kClientWidth, kClientHeight);

    lblSize = MakeLabel(this, "lblSize", "- Bytes", 72, 74);
    lblProgress = MakeLabel(this, "lblProgress", "Status", 16, 102);
    Label1 = MakeLabel(this, "Label1", "File Name", 16, 46);
    Label4 = MakeLabel(this, "Label4", "File Size", 16, 74);
    Label3 = MakeLabel(this, "Label3", "Model", 16, 16);

    Progress = new QProgressBar(this);
    Progress->setObjectName(QStringLiteral("Progress"));
    Progress->setGeometry(16, 121, 372, 17);
    Progress->setTextVisible(false);
    Progress->setRange(0, 100);
    Progress->setValue(50);

    BtnDownload = MakeButton(this, "BtnDownload", "Download", 120, false);
    BtnCancel = MakeButton(this, "BtnCancel", "Stop", 199, false);
    BtnClose = MakeButton(this, "BtnClose", "Exit", 310, true);

    edtFilename = new QLineEdit(this);
    edtFilename->setObjectName(QStringLiteral("edtFilename"));
    edtFilename->setGeometry(72, 43, 316, 21);
    edtFilenameButton = new QToolButton(edtFilename);
    edtFilenameButton->setObjectName(QStringLiteral("edtFilenameButton"));
    edtFilenameButton->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    edtFilenameButton->setToolTip(QStringLiteral("Browse (Alt+Down)"));
    edtFilename->setToolTip(QStringLiteral("Alt+Down: browse for the firmware file"));
    edtFilenameButton->setFocusPolicy(Qt::NoFocus);
    edtFilenameButton->setCursor(Qt::ArrowCursor);
    edtFilenameButton->setGeometry(316 - kBrowseButtonWidth - 1, 1, kBrowseButtonWidth, 19);
    edtFilename->setTextMargins(0, 0, kBrowseButtonWidth, 0);

    cbModel = new QComboBox(this);
    cbModel->setObjectName(QStringLiteral("cbModel"));
    cbModel->setEditable(false);
    cbModel->setGeometry(72, 13, 316, 21);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    // The download's waits are minimum times for the printer: a coarse timer may fire 5 % early.
    Timer1->setTimerType(Qt::PreciseTimer);

    setTabOrder(BtnDownload, BtnCancel);
    setTabOrder(BtnCancel, BtnClose);
    setTabOrder(BtnClose, edtFilename);
    setTabOrder(edtFilename, cbModel);
    Progress->setFocusPolicy(Qt::NoFocus);

    auto* shortcuts = new KeyboardShortcuts(*this);
    for (QWidget* widget : {static_cast<QWidget*>(BtnDownload), static_cast<QWidget*>(BtnCancel),
                            static_cast<QWidget*>(BtnClose), static_cast<QWidget*>(edtFilename)}) {
        widget->installEventFilter(shortcuts);
    }

    connect(BtnDownload, &QPushButton::clicked, this, [this] { BtnDownloadClick(); });
    connect(BtnCancel, &QPushButton::clicked, this, [this] { BtnCancelClick(); });
    connect(BtnClose, &QPushButton::clicked, this, [this] { BtnCloseClick(); });
    connect(edtFilenameButton, &QToolButton::clicked, this, [this] { BrowseClick(); });
    connect(cbModel, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { cbModelChange(); });
    connect(edtFilename, &QLineEdit::textChanged, this, [this] { cbModelChange(); });
    connect(Timer1, &QTimer::timeout, this, [this] {
        if (clock_->onTick) clock_->onTick();
    });
}

void TFrmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (activated_) return;
    activated_ = true;
    if (const QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
    BtnClose->setFocus();
    FormActivate();
}

void TFrmMain::FillModels(const std::vector<std::string>& models) {
    // Filling the list is not the user's choice: it must not run the enabling check.
    const QSignalBlocker blocker(cbModel);
    cbModel->clear();
    for (const std::string& model : models) cbModel->addItem(FromProgramText(model));
    cbModel->setCurrentIndex(-1);
}

int TFrmMain::ModelIndex() const { return cbModel->currentIndex(); }
std::string TFrmMain::FileText() const { return ToProgramText(edtFilename->text()); }
void TFrmMain::SetDownloadEnabled(bool enabled) { BtnDownload->setEnabled(enabled); }
void TFrmMain::SetStatusTip(const std::string& tip) { lblProgress->setToolTip(FromProgramText(tip)); }

// A posted request: the window closes once its message loop runs.
void TFrmMain::PostClose() { QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection); }

void TFrmMain::BtnCloseClick() { close(); }

void TFrmMain::closeEvent(QCloseEvent* event) {
    if (rules_.MayClose()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void TFrmMain::BrowseClick() {
    const QString path = services_.browseForFile(this);
    if (!path.isEmpty()) ApplyBrowsedFile(path);
}

void TFrmMain::ApplyBrowsedFile(const QString& path) {
    const bool quote = path.contains(QLatin1Char(' ')) && !path.startsWith(QLatin1Char('"'));
    edtFilename->setText(quote ? QLatin1Char('"') + path + QLatin1Char('"') : path);
}

std::string TFrmMain::StatusText() const { return ToProgramText(lblProgress->text()); }

void TFrmMain::SetStatusText(const std::string& text) {
    lblProgress->setText(FromProgramText(text));
    lblProgress->adjustSize();
}

void TFrmMain::SetSizeText(const std::string& text) {
    lblSize->setText(FromProgramText(text));
    lblSize->adjustSize();
}

void TFrmMain::ShowProgress() {
    // The bar shows the position within its range; a range of nothing shows an empty bar.
    Progress->setRange(0, maximum_ > 0 ? maximum_ : 1);
    Progress->setValue(std::clamp(position_, 0, maximum_ > 0 ? maximum_ : 0));
}

void TFrmMain::SetProgressPosition(int position) {
    position_ = position;
    ShowProgress();
}

void TFrmMain::SetProgressMaximum(int maximum) {
    maximum_ = maximum;
    ShowProgress();
}

void TFrmMain::Sleep(unsigned milliseconds) {
    lblProgress->repaint();
    clock_->Sleep(milliseconds);
}

void TFrmMain::SetStopEnabled(bool enabled) { BtnCancel->setEnabled(enabled); }

std::string TFrmMain::SelectedModel() const { return ToProgramText(cbModel->currentText()); }
