#pragma once
// The "About" page: a header strip with the program's name and version over a read-only
// text that describes the simulation procedure and the window's fields.
#include <QStringList>

class QWidget;

namespace veltrano {

/// The 57 lines of the page's text, as the program has always shown them (blank lines,
/// trailing blanks and spelling included).
QStringList AboutLines();

/// Fills `page`: an 80-pixel header with "Veltrano" (12 pt, in the palette's link colour)
/// and "v 1.0 - 2014" (8 pt, gray) to its right; below it, after a 25-pixel left margin, a
/// borderless read-only text box with both scroll bars holding AboutLines(). The widgets
/// are named AboutHeader, AboutTitle, AboutVersion and AboutText.
void BuildAboutPage(QWidget* page);

}  // namespace veltrano
