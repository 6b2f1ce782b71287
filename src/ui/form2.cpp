#include "ui/form2.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>

#include "protocol/cp936.h"
#include "ui/accessible.h"
#include "ui/status_line.h"
#include "ui/widgets.h"
#include "ui/wire_log.h"
#include "window/layout.h"
#include "window/texts.h"

namespace melvorin::ui {

namespace {

double ScreenDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInch() : window::kDesignDpi;
}

std::string QtTranslate(const char* context, const char* text) {
    const QString t = QCoreApplication::translate(context, text);
    return t == QString::fromUtf8(text) ? std::string() : t.toStdString();
}

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

TForm2::TForm2(IBoxes& boxes, net::THandOver& handOver, QWidget* parent) : QWidget(parent), boxes_(boxes) {
    InstallAccessibility();
    window::SetTranslator(&QtTranslate);
    setObjectName(QStringLiteral("Form2"));
    // Names valid both as UTF-8 and as code page 936 follow the user's language.
    SetPreferredReading(ReadingForLocale(QLocale::system().name().toStdString()));
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
    logic_ = std::make_unique<window::TFormLogic>(static_cast<window::IFormView&>(*this), handOver);
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
    auto place = [this](QWidget* w) {
        const window::TPlace& at = window::PlaceOf(w->objectName().toUtf8().constData());
        w->setGeometry(Scaled(at.left), Scaled(at.top), Scaled(at.width), Scaled(at.height));
    };
    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };

    lbl_SearchPort = new QLabel(Q(window::kSearchPortCaption), this);
    place(named(lbl_SearchPort, "lbl_SearchPort"));
    lbl_SearchPort->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lbl_SearchPort->setFixedSize(lbl_SearchPort->size());

    Key = new QLabel(Q(window::kKeyCaption), this);
    place(named(Key, "Key"));
    Key->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    edtKey = new TEdit(this);
    place(named(edtKey, "edtKey"));
    edtKey->setText(Q(window::kKeyInitial));
    edtKey->OnKeyPress = [this](char16_t& key) { logic_->edtKeyKeyPress(key); };
    edtKey->OnEnter = [this] { logic_->edtKeyEnter(); };
    edtKey->OnExit = [this] { logic_->edtKeyExit(); };

    btnSearch = new QPushButton(Q(window::kSearchCaption), this);
    place(named(btnSearch, "btnSearch"));
    btnSearch->setAutoDefault(true);  // Enter presses it while it has the focus
    connect(btnSearch, &QPushButton::clicked, this, [this] { logic_->btnSearchClick(); });

    lvSsid = new TListView(this);
    named(lvSsid, "lvSsid");
    QFont listFont = font();
    listFont.setPixelSize(std::max(1, Scaled(window::kListFontPixels)));
    lvSsid->setFont(listFont);
    lvSsid->setHorizontalHeaderLabels({Q(window::kSsidColumn), Q(window::kStrengthColumn)});
    lvSsid->setColumnWidth(0, Scaled(window::kSsidColumnWidth));
    lvSsid->setColumnWidth(1, Scaled(window::kStrengthColumnWidth));
    lvSsid->FitRowHeight();
    place(lvSsid);
    lvSsid->OnDblClick = [this] { logic_->lvSsidDblClick(); };

    edt_SearchPort = new TEdit(this);
    place(named(edt_SearchPort, "edt_SearchPort"));
    edt_SearchPort->setText(Q(window::kSearchPortInitial));
    // The captions name their boxes for a screen reader; the list, which has
    // no caption, gets a name of its own.
    lbl_SearchPort->setBuddy(edt_SearchPort);
    Key->setBuddy(edtKey);
    lvSsid->setAccessibleName(Q(MLV_TR("NetworkList", "Networks").c_str()));
    edt_SearchPort->OnKeyPress = [this](char16_t& key) { logic_->edt_SearchPortKeyPress(key); };

    lblStatus = new TStatusLine(this);
    place(lblStatus);

    setTabOrder(btnSearch, edtKey);
    setTabOrder(edtKey, lvSsid);
    setTabOrder(lvSsid, edt_SearchPort);
    btnSearch->setFocus();

    setFixedSize(Scaled(window::kClientWidth), Scaled(window::kClientHeight + window::kStatusHeight));
}

void TForm2::ShowCentred() {
    if (!centred_) {
        centred_ = true;
        CentreOnPrimaryScreen(*this);
    }
    show();
}

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
void TForm2::ShowNotice(const std::string& text) { boxes_.ShowNotice(QString::fromStdString(text)); }
void TForm2::ShowError(const std::string& text) { boxes_.ShowError(QString::fromStdString(text)); }
void TForm2::Beep() { boxes_.Beep(); }

}  // namespace melvorin::ui
