#pragma once

// The window under test, shared by the window's QtTest suites: before each
// case a new window with its boxes and a device socket on port 1902 (where a
// broadcast to 255.255.255.255 loops back in the private namespace); after
// it all destroyed, the window first, and the exchange state released. The
// hand-over pump the window needs is RunQtSuite's (qt_support.cpp,
// WindowHandOver()).
//
// A suite derives from it after QObject, calls SetUpWindow() from init() and
// TearDownWindow() from cleanup(). `Boxes` needs a QStringList `errors`.

#include <QStringList>
#include <QTest>
#include <memory>

#include "protocol/state.h"
#include "qt_support.h"
#include "qt/form2.h"

namespace melvorin::testing {

template <typename Boxes = RecordingBoxes>
class WindowFixture {
protected:
    std::unique_ptr<Boxes> boxes;
    std::unique_ptr<UdpPeer> device;
    std::unique_ptr<qt::TForm2> form;

    void SetUpWindow() {
        ReleaseState();
        boxes = std::make_unique<Boxes>();
        device = std::make_unique<UdpPeer>();
        QVERIFY(device->Bind("", 1902));
        form = std::make_unique<qt::TForm2>(*boxes, WindowHandOver());
    }

    void TearDownWindow() {
        form.reset();
        device.reset();
        boxes.reset();
        ReleaseState();
    }

    // FormCreate without an error, and its scan request on the wire from
    // port 12345. The caller checks QTest::currentTestFailed() afterwards.
    void CreateAndExpectScan() {
        form->FormCreate();
        QCOMPARE(boxes->errors, QStringList());
        std::uint16_t sourcePort = 0;
        QCOMPARE(NextHex(*device, 3000, &sourcePort), Hex(kScanRequestBytes));
        QCOMPARE(sourcePort, std::uint16_t{12345});
    }
};

}  // namespace melvorin::testing
