#pragma once
// The main window's controls, found by object name as Qt's own tests find them. TForm1
// keeps its controls private; each carries its member name as its objectName (the
// settings' names come from the settings table, simulation/RunSettings.h), so code outside
// the window (its tests, the screenshots and timing tools) finds them here under the
// same names:
//
//   const FormWidgets ui(window);
//   ui.SpinEdit_Test->SetValue(2);
//   ui.Button1->click();
//
// A control that is missing, of another type, or not alone under its name ends the
// program with a message naming it (qFatal): the window's layout has changed under the
// test, which no test can go on from. `memo` is the data pane's text box, "Memo1" in
// TTextEditor1 (the residuals pane has a "Memo1" of its own).
#include "ui/ChartWidget.h"
#include "ui/CompactTextEdit.h"
#include "ui/SpinEdit.h"
#include "ui/SummaryPage.h"
#include "ui/TForm1.h"
#include "ui/TTextEditor.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QPushButton>
#include <QString>
#include <QTabWidget>
#include <QWidget>
#include <QtGlobal>

#include <type_traits>

namespace veltrano::testing {

/// The one object of type T named `name` among the descendants of `parent`.
template <class T>
T* FindNamed(const QObject& parent, const char* name) {
  const QList<T*> found = parent.findChildren<T*>(QString::fromLatin1(name));
  if (found.size() != 1)
    qFatal("FormWidgets: %lld objects of type %s named \"%s\" in %s \"%s\" (expected exactly one)",
           static_cast<long long>(found.size()), T::staticMetaObject.className(), name,
           parent.metaObject()->className(), qPrintable(parent.objectName()));
  return found.front();
}

struct FormWidgets {
  // ---- Left column, top to bottom -------------------------------------------------------
  TSpinEdit* SpinEdit_n;
  TSpinEdit* SpinEdit_k;
  TSpinEdit* SpinEdit_D0;
  QLineEdit* Edit_D0;
  QCheckBox* CheckBox_Iterate;
  TSpinEdit* SpinEdit_Dmax;
  TSpinEdit* SpinEdit_Step;
  TSpinEdit* SpinEdit_Test;
  QCheckBox* CheckBox_Text;
  QCheckBox* CheckBox_full;
  QCheckBox* CheckBox_Unsort;
  QCheckBox* CheckBox_Table;
  QCheckBox* CheckBox_CI;
  QCheckBox* CheckBox_Dka;
  TSpinEdit* SpinEdit_Tol;
  TSpinEdit* SpinEdit_MaxIts;
  TSpinEdit* SpinEdit_Decs;
  QCheckBox* CheckBox_Duncond;
  QCheckBox* CheckBox_Dcond;
  QCheckBox* cbDtrue;
  QCheckBox* cbDLN;
  QCheckBox* comma;
  QPushButton* Button1;
  QPushButton* Button_Sheets;
  QLabel* Label_Seed;
  QLabel* Label_Progress;
  QPushButton* Button_Cancel;

  // ---- Page area --------------------------------------------------------------------------
  QTabWidget* PageControl1;
  QWidget* TabSheet1;
  QWidget* TabSheet2;
  QWidget* TabSheet3;
  QWidget* TabSheet4;
  QWidget* TabSummary;
  QWidget* TabSheet5;
  TTextEditor* TTextEditor1;
  TTextEditor* TextEditor1;
  ChartWidget* Chart1;
  ChartWidget* Chart2;
  SummaryPage* Summary;
  QAction* tbAnalyseSheets;
  CompactTextEdit* memo;

  explicit FormWidgets(const TForm1& form) {
// The member and the object it holds share one name.
#define VELTRANO_FIND(member) member = FindNamed<std::remove_pointer_t<decltype(member)>>(form, #member)
    VELTRANO_FIND(SpinEdit_n);
    VELTRANO_FIND(SpinEdit_k);
    VELTRANO_FIND(SpinEdit_D0);
    VELTRANO_FIND(Edit_D0);
    VELTRANO_FIND(CheckBox_Iterate);
    VELTRANO_FIND(SpinEdit_Dmax);
    VELTRANO_FIND(SpinEdit_Step);
    VELTRANO_FIND(SpinEdit_Test);
    VELTRANO_FIND(CheckBox_Text);
    VELTRANO_FIND(CheckBox_full);
    VELTRANO_FIND(CheckBox_Unsort);
    VELTRANO_FIND(CheckBox_Table);
    VELTRANO_FIND(CheckBox_CI);
    VELTRANO_FIND(CheckBox_Dka);
    VELTRANO_FIND(SpinEdit_Tol);
    VELTRANO_FIND(SpinEdit_MaxIts);
    VELTRANO_FIND(SpinEdit_Decs);
    VELTRANO_FIND(CheckBox_Duncond);
    VELTRANO_FIND(CheckBox_Dcond);
    VELTRANO_FIND(cbDtrue);
    VELTRANO_FIND(cbDLN);
    VELTRANO_FIND(comma);
    VELTRANO_FIND(Button1);
    VELTRANO_FIND(Button_Sheets);
    VELTRANO_FIND(Label_Seed);
    VELTRANO_FIND(Label_Progress);
    VELTRANO_FIND(Button_Cancel);
    VELTRANO_FIND(PageControl1);
    VELTRANO_FIND(TabSheet1);
    VELTRANO_FIND(TabSheet2);
    VELTRANO_FIND(TabSheet3);
    VELTRANO_FIND(TabSheet4);
    VELTRANO_FIND(TabSummary);
    VELTRANO_FIND(TabSheet5);
    VELTRANO_FIND(TTextEditor1);
    VELTRANO_FIND(TextEditor1);
    VELTRANO_FIND(Chart1);
    VELTRANO_FIND(Chart2);
    VELTRANO_FIND(Summary);
    VELTRANO_FIND(tbAnalyseSheets);
#undef VELTRANO_FIND
    memo = FindNamed<CompactTextEdit>(*TTextEditor1, "Memo1");
  }
};

}  // namespace veltrano::testing
