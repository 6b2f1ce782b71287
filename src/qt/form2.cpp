#include "qt/form2.h"

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "qt/accessible.h"
#include "qt/boxes.h"
#include "qt/status_line.h"
#include "qt/widgets.h"
#include "qt/wire_log.h"
#include "window/layout.h"
#include "window/texts.h"

namespace melvorin::qt {

namespace {

double ScreenDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInch() : window::kDesignDpi;
}

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

// A member's text at start, from the layout table.
QString InitialText(window::TMember member) { return Q(member.Place().text); }

}  // namespace

TForm2::TForm2(window::IBoxes& boxes, net::THandOver& handOver, QWidget* parent) : QWidget(parent) {
    InstallAccessibility();
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(Q(window::kWindowTitle));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    // Button-face background.
    QPalette p = palette();
    p.setColor(QPalette::Window, p.color(QPalette::Button));
    setPalette(p);
    setAutoFillBackground(true);

    QFont font(Q(window::kWindowFontFamily));
    font.setPixelSize(window::WindowFontPixels(ScreenDpi()));
    setFont(font);
    scale_ = window::LayoutScale(QFontMetrics(font).height());

    BuildLayout();
    for (QTimer* timer : {&scanTimer_, &joinTimer_}) timer->setSingleShot(true);
    logic_ = std::make_unique<window::TFormLogic>(static_cast<window::IFormView&>(*this), boxes, handOver);
    logic_->Endpoint().OnLog = [](const net::TIdLogEntry& entry) { LogWire(entry); };
    connect(&scanTimer_, &QTimer::timeout, this, [this] { logic_->TimedOut(window::TTimer::Scan); });
    connect(&joinTimer_, &QTimer::timeout, this, [this] { logic_->TimedOut(window::TTimer::Join); });
}

TForm2::~TForm2() {
    // The logic (and its endpoint) goes before the controls it draws on.
    logic_.reset();
}

int TForm2::Scaled(int value) const { return window::Scaled(value, scale_); }

void TForm2::BuildLayout() {
    // Names a control after its member and places it by the table.
    auto place = [this](QWidget* w, window::TMember member) {
        const window::TPlace& at = member.Place();
        w->setObjectName(QString::fromLatin1(at.name));
        w->setGeometry(Scaled(at.left), Scaled(at.top), Scaled(at.width), Scaled(at.height));
    };

    lbl_SearchPort = new QLabel(InitialText("lbl_SearchPort"), this);
    place(lbl_SearchPort, "lbl_SearchPort");
    lbl_SearchPort->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbl_SearchPort->setFixedSize(lbl_SearchPort->size());

    Key = new QLabel(InitialText("Key"), this);
    place(Key, "Key");
    Key->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    edtKey = new TEdit(this);
    place(edtKey, "edtKey");
    edtKey->setText(InitialText("edtKey"));
    edtKey->KeepTextInside();
    edtKey->OnKeyPress = [this](char16_t& key) { logic_->edtKeyKeyPress(key); };
    edtKey->OnEnter = [this] { logic_->edtKeyEnter(); };
    edtKey->OnExit = [this] { logic_->edtKeyExit(); };

    btnSearch = new QPushButton(InitialText("btnSearch"), this);
    place(btnSearch, "btnSearch");
    btnSearch->setAutoDefault(true);  // Enter presses it while it has the focus
    connect(btnSearch, &QPushButton::clicked, this, [this] { logic_->btnSearchClick(); });

    lvSsid = new TListView(this);
    QFont listFont = font();
    listFont.setPixelSize(std::max(1, Scaled(window::kListFontPixels)));
    lvSsid->setFont(listFont);
    lvSsid->setHorizontalHeaderLabels({Q(window::kSsidColumn), Q(window::kStrengthColumn)});
    lvSsid->setColumnWidth(0, Scaled(window::kSsidColumnWidth));
    lvSsid->setColumnWidth(1, Scaled(window::kStrengthColumnWidth));
    lvSsid->FitRowHeight();
    place(lvSsid, "lvSsid");
    lvSsid->OnDblClick = [this] { logic_->lvSsidDblClick(); };

    edt_SearchPort = new TEdit(this);
    place(edt_SearchPort, "edt_SearchPort");
    edt_SearchPort->setText(InitialText("edt_SearchPort"));
    // The captions name their boxes for a screen reader; the list, which has
    // no caption, gets a name of its own.
    const auto member = [this](window::TMember m) {
        return findChild<QWidget*>(QString::fromLatin1(m.Place().name));
    };
    for (const window::TCaption& c : window::kCaptions) {
        static_cast<QLabel*>(member(c.caption))->setBuddy(member(c.box));
    }
    lvSsid->setAccessibleName(Q(MLV_TR("NetworkList", "Networks").c_str()));
    edt_SearchPort->OnKeyPress = [this](char16_t& key) { logic_->edt_SearchPortKeyPress(key); };

    lblStatus = new TStatusLine(this);
    place(lblStatus, "lblStatus");

    for (std::size_t i = 1; i < window::kTabOrder.size(); ++i) {
        setTabOrder(member(window::kTabOrder[i - 1]), member(window::kTabOrder[i]));
    }
    member(window::kTabOrder[0])->setFocus();

    setFixedSize(Scaled(window::kClientWidth), Scaled(window::kClientHeight + window::kStatusHeight));
}

void TForm2::ShowCentred() {
    if (!centred_) {
        centred_ = true;
        CentreOnPrimaryScreen(*this);
    }
    show();
}

void TForm2::RunEventLoop() { QApplication::exec(); }

// ---- what the logic draws -------------------------------------------------

void TForm2::ClearRows() { lvSsid->setRowCount(0); }
void TForm2::AddRow(const window::TShownRow& row) { lvSsid->AddRow(row); }
int TForm2::RowCount() const { return lvSsid->rowCount(); }
int TForm2::SelectedRow() const { return lvSsid->SelectedRow(); }
std::string TForm2::KeyText() const { return edtKey->text().toStdString(); }

void TForm2::SetKeyText(const std::string& text) {
    if (text.empty()) {
        edtKey->clear();
    } else {
        edtKey->setText(QString::fromStdString(text));
    }
}

void TForm2::SetKeyColor(TColor color) { edtKey->SetColor(color); }
void TForm2::SetKeyWindowColor() { edtKey->SetWindowColor(); }
std::string TForm2::PortText() const { return edt_SearchPort->text().toStdString(); }
void TForm2::SetStatusText(const std::string& text) { lblStatus->Show(QString::fromStdString(text)); }
void TForm2::AnnounceStatusText(const std::string& text) { lblStatus->Announce(QString::fromStdString(text)); }
void TForm2::StartTimer(window::TTimer timer, std::chrono::milliseconds after) { TimerOf(timer).start(after); }
void TForm2::StopTimer(window::TTimer timer) { TimerOf(timer).stop(); }

}  // namespace melvorin::qt
