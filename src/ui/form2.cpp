#include "ui/form2.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <exception>

#include "protocol/errors.h"
#include "protocol/frame.h"
#include "protocol/join.h"
#include "protocol/scan.h"
#include "ui/error_text.h"

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

class TForm2::NoticeAdapter : public INotice {
public:
    explicit NoticeAdapter(IBoxes& boxes) : boxes_(boxes) {}
    void ShowNotice(const std::string& text) override { boxes_.ShowNotice(QString::fromStdString(text)); }

private:
    IBoxes& boxes_;
};

TForm2::TForm2(IBoxes& boxes, net::THandOver& handOver, QWidget* parent)
    : QWidget(parent),
      boxes_(boxes),
      notice_(std::make_unique<NoticeAdapter>(boxes)),
      joinNotice_(std::make_unique<TGatedNotice>(*notice_, joinGate_)) {
    setObjectName(QStringLiteral("Form2"));
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
    edt_SearchPort->OnKeyPress = [this](char16_t& key) { edt_SearchPortKeyPress(key); };

    idpsrvr1 = std::make_unique<net::TIdUDPServer>(handOver, "idpsrvr1");
    idpsrvr1->SetBroadcastEnabled(true);
    idpsrvr1->SetDefaultPort(12345);
    idpsrvr1->OnUDPRead = [this](net::TIdUDPListenerThread& thread, const TIdBytes& AData,
                                 net::TIdSocketHandle& binding) { idpsrvr1UDPRead(thread, AData, binding); };
    listArrival_ = std::make_unique<TListArrival>(*lvSsid);
    joinSender_ = std::make_unique<TJoinSender>(*idpsrvr1, *listArrival_, joinGate_);

    setTabOrder(btnSearch, edtKey);
    setTabOrder(edtKey, lvSsid);
    setTabOrder(lvSsid, edt_SearchPort);
    btnSearch->setFocus();

    setFixedSize(Scaled(kClientWidth), Scaled(kClientHeight));
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

void TForm2::FormCreate() {
    Guarded([this] { Scan(edt_SearchPort->text().toStdString(), *idpsrvr1); });
}

void TForm2::btnSearchClick() {
    Guarded([this] { Scan(edt_SearchPort->text().toStdString(), *idpsrvr1); });
}

void TForm2::lvSsidDblClick() {
    Guarded([this] { Join(*lvSsid, *edtKey, *joinSender_); });
}

void TForm2::idpsrvr1UDPRead(net::TIdUDPListenerThread& /*AThread*/, const TIdBytes& AData,
                             net::TIdSocketHandle& ABinding) {
    if (closing_) {
        return;
    }
    listArrival_->Arrival = ABinding.PeerInterfaceIndex;
    // What the handler drops goes to the endpoint's log.
    HandleDatagram(AData, *listArrival_, *joinNotice_,
                   [this](const std::string& error) { idpsrvr1->LogDropped(error); });
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
