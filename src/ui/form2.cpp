#include "ui/form2.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLocale>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <exception>

#include "protocol/errors.h"
#include "protocol/frame.h"
#include "protocol/join.h"
#include "protocol/cp936.h"
#include "protocol/scan.h"
#include "protocol/state.h"
#include "ui/accessible.h"
#include "ui/error_text.h"
#include "ui/visible_name.h"
#include "ui/wire_log.h"

namespace melvorin::ui {

namespace {

// The layout is drawn for 96 dots per inch and a height of 13 pixels for "0"
// in the window's font (-11, 8 points).
constexpr int kDesignDpi = 96;
constexpr int kDesignTextHeight = 13;
constexpr int kWindowFontPixels = 11;
constexpr int kListFontPixels = 16;

double ScreenDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInch() : kDesignDpi;
}

}  // namespace

// The status line hears of a join result before its notice box opens (and
// holds the listener).
class TForm2::NoticeAdapter : public INotice {
public:
    NoticeAdapter(IBoxes& boxes, TForm2& form) : boxes_(boxes), form_(form) {}
    void ShowNotice(const std::string& text) override {
        const QString message = QString::fromStdString(text);
        form_.lblStatus->JoinAnswered(message);
        boxes_.ShowNotice(message);
    }

private:
    IBoxes& boxes_;
    TForm2& form_;
};

// The endpoint, noting whether an action sent anything.
class TForm2::SendWatch : public IDatagramSender {
public:
    explicit SendWatch(IDatagramSender& sender) : sender_(sender) {}
    void SendDatagram(const std::string& host, std::uint16_t port, const TIdBytes& data) override {
        sender_.SendDatagram(host, port, data);
        sent = true;
    }
    bool sent = false;

private:
    IDatagramSender& sender_;
};

TForm2::TForm2(IBoxes& boxes, net::THandOver& handOver, QWidget* parent)
    : QWidget(parent),
      boxes_(boxes),
      notice_(std::make_unique<NoticeAdapter>(boxes, *this)) {
    InstallAccessibility();
    setObjectName(QStringLiteral("Form2"));
    // Names valid both as UTF-8 and as code page 936 follow the user's language.
    SetPreferredReading(ReadingForLocale(QLocale::system().name().toStdString()));
    setWindowTitle(QStringLiteral("Melvorin"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    // Button-face background.
    QPalette p = palette();
    p.setColor(QPalette::Window, p.color(QPalette::Button));
    setPalette(p);
    setAutoFillBackground(true);

    // The window's font: 11 pixels at 96 dpi, scaled by the screen's dpi.
    QFont font(QString::fromLatin1(kWindowFontFamily));
    font.setPixelSize(std::max(1, qRound(kWindowFontPixels * ScreenDpi() / kDesignDpi)));
    setFont(font);
    const int measured = QFontMetrics(font).height();
    if (measured != kDesignTextHeight && measured > 0) {
        scale_ = static_cast<double>(measured) / kDesignTextHeight;
    }

    BuildLayout(handOver);
}

TForm2::~TForm2() {
    // The endpoint goes first: a hand-over still running during its closing
    // must find every other member alive.
    CloseEndpoint();
    idpsrvr1.reset();
}

int TForm2::Scaled(int value) const { return qRound(value * scale_); }

void TForm2::BuildLayout(net::THandOver& handOver) {
    auto place = [this](QWidget* w, int left, int top, int width, int height) {
        w->setGeometry(Scaled(left), Scaled(top), Scaled(width), Scaled(height));
    };

    lbl_SearchPort = new QLabel(QStringLiteral("搜索端口"), this);
    lbl_SearchPort->setObjectName(QStringLiteral("lbl_SearchPort"));
    lbl_SearchPort->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(lbl_SearchPort, 34, 30, 57, 13);
    lbl_SearchPort->setFixedSize(lbl_SearchPort->size());

    Key = new QLabel(QStringLiteral("Key"), this);
    Key->setObjectName(QStringLiteral("Key"));
    Key->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(Key, 170, 30, 18, 13);

    edtKey = new TEdit(this);
    edtKey->setObjectName(QStringLiteral("edtKey"));
    edtKey->setText(QStringLiteral("12345678"));
    place(edtKey, 191, 24, 136, 21);
    edtKey->OnKeyPress = [this](char16_t& key) { edtKeyKeyPress(key); };
    edtKey->OnEnter = [this] { edtKeyEnter(); };
    edtKey->OnExit = [this] { edtKeyExit(); };

    btnSearch = new QPushButton(QStringLiteral("重获SSID"), this);
    btnSearch->setObjectName(QStringLiteral("btnSearch"));
    btnSearch->setAutoDefault(true);  // Enter presses it while it has the focus
    place(btnSearch, 36, 72, 297, 35);
    connect(btnSearch, &QPushButton::clicked, this, [this] { btnSearchClick(); });

    lvSsid = new TListView(this);
    lvSsid->setObjectName(QStringLiteral("lvSsid"));
    QFont listFont = font();
    listFont.setPixelSize(std::max(1, qRound(kListFontPixels * scale_)));
    lvSsid->setFont(listFont);
    lvSsid->setHorizontalHeaderLabels({QStringLiteral("SSID 双击即可连接↓"), QStringLiteral("信号强度")});
    lvSsid->setColumnWidth(0, Scaled(190));
    lvSsid->setColumnWidth(1, Scaled(80));
    lvSsid->FitRowHeight();
    place(lvSsid, 36, 130, 295, 325);
    lvSsid->OnDblClick = [this] { lvSsidDblClick(); };

    edt_SearchPort = new TEdit(this);
    edt_SearchPort->setObjectName(QStringLiteral("edt_SearchPort"));
    edt_SearchPort->setText(QStringLiteral("1902"));
    place(edt_SearchPort, 98, 24, 53, 21);
    // The captions name their boxes for a screen reader; the list, which has
    // no caption, gets a name of its own.
    lbl_SearchPort->setBuddy(edt_SearchPort);
    Key->setBuddy(edtKey);
    lvSsid->setAccessibleName(tr("Networks"));
    edt_SearchPort->OnKeyPress = [this](char16_t& key) { edt_SearchPortKeyPress(key); };

    idpsrvr1 = std::make_unique<net::TIdUDPServer>(handOver, "idpsrvr1");
    idpsrvr1->SetBroadcastEnabled(true);
    idpsrvr1->SetDefaultPort(12345);
    idpsrvr1->OnUDPRead = [this](net::TIdUDPListenerThread& thread, const TIdBytes& AData,
                                 net::TIdSocketHandle& binding) { idpsrvr1UDPRead(thread, AData, binding); };
    idpsrvr1->OnLog = [](const net::TIdLogEntry& entry) { LogWire(entry); };
    listArrival_ = std::make_unique<TListArrival>(*lvSsid);
    joinNotice_ = std::make_unique<TGatedNotice>(*notice_, joinGate_, *listArrival_);
    joinSender_ = std::make_unique<TJoinSender>(*idpsrvr1, *listArrival_, joinGate_);

    lblStatus = new TStatusLine(this);
    place(lblStatus, 12, kClientHeight, kClientWidth - 24, kStatusHeight);

    setTabOrder(btnSearch, edtKey);
    setTabOrder(edtKey, lvSsid);
    setTabOrder(lvSsid, edt_SearchPort);
    btnSearch->setFocus();

    setFixedSize(Scaled(kClientWidth), Scaled(kClientHeight + kStatusHeight));
}

template <typename F>
void TForm2::Guarded(F&& handler) {
    try {
        handler();
    } catch (const Exception& e) {
        ShowError(e.Message());
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

template <typename F>
void TForm2::SaySendFailures(F&& send) {
    try {
        send();
    } catch (...) {
        // Out of no interface: the line names each one and why, the error
        // box the first.
        const auto failed = idpsrvr1->LastSendFailures();
        if (!failed.empty()) lblStatus->NothingSent(failed);
        throw;
    }
}

void TForm2::ShowError(const std::string& message) {
    QString text = QString::fromStdString(ErrorText(message));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    boxes_.ShowError(text);
}

void TForm2::ShowCentred() {
    if (!centred_) {
        centred_ = true;
        CentreOnPrimaryScreen(*this);
    }
    show();
}

void TForm2::CloseEndpoint() {
    closing_ = true;
    if (idpsrvr1) {
        idpsrvr1->SetActive(false);
    }
}

// ---- handlers -------------------------------------------------------------

void TForm2::FormCreate() { btnSearchClick(); }

void TForm2::btnSearchClick() {
    Guarded([this] {
        SaySendFailures([this] { Scan(edt_SearchPort->text().toStdString(), *idpsrvr1); });
        lblStatus->ScanSent(idpsrvr1->LastSendInterfaces(), idpsrvr1->LastSendFailures());
    });
}

void TForm2::lvSsidDblClick() {
    Guarded([this] {
        SendWatch sender(*joinSender_);
        SaySendFailures([&] { Join(*lvSsid, *edtKey, sender); });
        if (sender.sent) {
            lblStatus->JoinSent(MakeVisible(QString::fromStdString(BytesToText(State().SelectedSsid))).Text,
                                idpsrvr1->LastSendInterfaces(), idpsrvr1->LastSendFailures());
        }
    });
}

void TForm2::idpsrvr1UDPRead(net::TIdUDPListenerThread& /*AThread*/, const TIdBytes& AData,
                             net::TIdSocketHandle& ABinding) {
    if (closing_) {
        return;
    }
    listArrival_->Arrival = {ABinding.PeerIP, ABinding.PeerInterfaceIndex, ABinding.PeerInterface};
    const unsigned listsBefore = listArrival_->Lists();
    // What the handler drops goes to the endpoint's log.
    HandleDatagram(AData, *listArrival_, *joinNotice_,
                   [this](const std::string& error) { idpsrvr1->LogDropped(error); });
    if (listArrival_->Lists() != listsBefore) {
        // The list's sender: a list reply handled inside a notice this
        // datagram opened has replaced this one's.
        const TPeer& from = listArrival_->ShownFrom();
        lblStatus->ListShown(lvSsid->RowCount(), from.Address, from.InterfaceName);
    }
    // Join results that came unasked are counted on the line, quietly.
    lblStatus->SetUnasked(UnaskedResults());
}

void TForm2::edt_SearchPortKeyPress(char16_t& key) {
    Guarded([this, &key] {
        if (key == 8 || (key >= u'0' && key <= u'9')) {
            return;
        }
        key = 0;
        boxes_.Beep();
    });
}

void TForm2::edtKeyKeyPress(char16_t& key) {
    Guarded([&key] {
        if (key >= 160) {
            key = 0;
        }
    });
}

void TForm2::edtKeyEnter() {
    Guarded([this] {
        edtKey->SetColor(clKeyFocus);
        if (edtKey->text() == QString::fromUtf8(kKeyPrompt)) {
            edtKey->clear();
        }
    });
}

void TForm2::edtKeyExit() {
    Guarded([this] { edtKey->SetWindowColor(); });
}

}  // namespace melvorin::ui
