#pragma once

// The window's controls as a test reaches them: by their object names, the
// members' names.

#include <QLabel>
#include <QPushButton>

#include "ui/form2.h"
#include "ui/status_line.h"
#include "ui/widgets.h"

namespace melvorin::testing {

// `using namespace testing::controls;` brings just these.
inline namespace controls {

template <typename T>
T* Control(ui::TForm2& form, const char* name) {
    T* control = form.findChild<T*>(QString::fromLatin1(name));
    if (control == nullptr) qFatal("the window has no control %s", name);
    return control;
}

inline ui::TListView* LvSsid(ui::TForm2& form) { return Control<ui::TListView>(form, "lvSsid"); }
inline ui::TEdit* EdtKey(ui::TForm2& form) { return Control<ui::TEdit>(form, "edtKey"); }
inline ui::TEdit* EdtSearchPort(ui::TForm2& form) { return Control<ui::TEdit>(form, "edt_SearchPort"); }
inline QPushButton* BtnSearch(ui::TForm2& form) { return Control<QPushButton>(form, "btnSearch"); }
inline QLabel* LblSearchPort(ui::TForm2& form) { return Control<QLabel>(form, "lbl_SearchPort"); }
inline QLabel* KeyCaption(ui::TForm2& form) { return Control<QLabel>(form, "Key"); }
inline ui::TStatusLine* LblStatus(ui::TForm2& form) { return Control<ui::TStatusLine>(form, "lblStatus"); }
inline net::TIdUDPServer* Idpsrvr1(ui::TForm2& form) { return &form.Logic().Endpoint(); }

}  // namespace controls

}  // namespace melvorin::testing
