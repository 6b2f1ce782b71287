#pragma once

// The window's controls as a test reaches them: by their object names, the
// members' names.

#include <QLabel>
#include <QPushButton>

#include "qt/form2.h"
#include "qt/status_line.h"
#include "qt/widgets.h"

namespace melvorin::testing {

// `using namespace testing::controls;` brings just these.
inline namespace controls {

template <typename T>
T* Control(qt::TForm2& form, const char* name) {
    T* control = form.findChild<T*>(QString::fromLatin1(name));
    if (control == nullptr) qFatal("the window has no control %s", name);
    return control;
}

inline qt::TListView* LvSsid(qt::TForm2& form) { return Control<qt::TListView>(form, "lvSsid"); }
inline qt::TEdit* EdtKey(qt::TForm2& form) { return Control<qt::TEdit>(form, "edtKey"); }
inline qt::TEdit* EdtSearchPort(qt::TForm2& form) { return Control<qt::TEdit>(form, "edt_SearchPort"); }
inline QPushButton* BtnSearch(qt::TForm2& form) { return Control<QPushButton>(form, "btnSearch"); }
inline QLabel* LblSearchPort(qt::TForm2& form) { return Control<QLabel>(form, "lbl_SearchPort"); }
inline QLabel* KeyCaption(qt::TForm2& form) { return Control<QLabel>(form, "Key"); }
inline qt::TStatusLine* LblStatus(qt::TForm2& form) { return Control<qt::TStatusLine>(form, "lblStatus"); }
inline net::TIdUDPServer* Idpsrvr1(qt::TForm2& form) { return &form.Logic().Endpoint(); }

}  // namespace controls

}  // namespace melvorin::testing
