#pragma once
// The settings of one simulation run: a plain snapshot of the main window's
// controls, taken once when the run starts. Each field carries the name of the
// control it comes from; the defaults are the window's defaults.
namespace veltrano {

struct RunSettings {
  int SpinEdit_n = 100;         // n, items per test, 1..100000
  int SpinEdit_k = 3;           // k, alternatives per item, 2..10
  int SpinEdit_D0 = 50;         // Do, first degree of knowledge in percent, 0..100
  bool CheckBox_Iterate = false;  // walk the degrees from Do to Dmax
  int SpinEdit_Dmax = 99;       // Dmax, last degree when walking, 0..99
  int SpinEdit_Step = 10;       // step between degrees in percent, 1..10
  int SpinEdit_Test = 50;       // tests per degree, 1..10000
  bool CheckBox_Text = true;    // write the data pane at all
  bool CheckBox_full = false;   // item-by-item listing and observed table per test
  bool CheckBox_Unsort = false; // "Sort known:": items in their own order, known first
  bool CheckBox_Table = true;   // the table's cells in the results lines
  int SpinEdit_Decs = 3;        // decimals of Do* and of the analysis record, 1..8
  bool CheckBox_CI = false;     // confidence interval in the analysis record
  bool CheckBox_Dka = true;     // alternative measures in the analysis record
  int SpinEdit_Tol = 10;        // tolerance exponent of the analysis, 2..15
  int SpinEdit_MaxIts = 500;    // iteration limit of the analysis, 1..1000
  bool comma = false;           // decimal comma in the residual rows
  bool CheckBox_Duncond = true; // show the unconditioned estimate (Du)
  bool CheckBox_Dcond = false;  // show the conditioned estimate (Dc)
  bool cbDLN = false;           // show the Lord & Novick measure
};

}  // namespace veltrano
