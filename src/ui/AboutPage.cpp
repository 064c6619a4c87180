#include "ui/AboutPage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QWidget>

#include <array>
#include <string_view>

namespace veltrano {
namespace {

// Line by line; several lines end in a blank, which the page keeps.
constexpr std::array<std::string_view, 57> kAboutLines = {
    "",  // 1
    "The purpose of this software is to show the behavior of the delta model in assessing the degree ",  // 2
    "of knowledge in a multiple choice test.",  // 3
    "",  // 4
    "------------------------------------------------",  // 5
    "SIMULATION PROCEDURE",  // 6
    "------------------------------------------------",  // 7
    "1. The position of the correct answer is assigned to each question using the inverse",  // 8
    "    transformation method.",  // 9
    "2. According to the degree of knowledge 'Do' used as input of the procedure, the Do% of the",  // 10
    "    correct answers are randomly assigned to the items. ",  // 11
    "3. In order to answer the remaining  questions, the inverse transformation method is used again. ",  // 12
    "",  // 13
    "Briefly, the Inverse transformation method has been implemented as follows: ",  // 14
    "Firstly K-1 random numbers are generated from the standard uniform distribution.",  // 15
    "Once this sequence has been sorted a new random value is generated and its position ",  // 16
    "into the previous sequence gives the number of the alternative to be marked.",  // 17
    "",  // 18
    "------------------------------------------------",  // 19
    "FIELDS OF THE FORM",  // 20
    "------------------------------------------------",  // 21
    "n = test length",  // 22
    "k  = number of alternatives per item",  // 23
    "Do(%) = Degree of knowledge to be considered",  // 24
    "Do* = shows the step (degree of knowledge) of the iterative process (do not fill this field)",  // 25
    "",  // 26
    "Check the checkbox \"Iterate from Do to Dmax\" in order to perform a iterative process.",  // 27
    "The iterative process covers the range Do-Dmax with the step specified. ",  // 28
    "For each Delta,  the value given in number of tests are evaluated.",  // 29
    "",  // 30
    "Select 'Full output' in order to show the simulation procedure for one test",  // 31
    "If 'Sort known' is checked, the correct answers will be the first ones",  // 32
    "'Data table' shows the summarized frequencies of correct/uncorrect answers",  // 33
    "'Confidence interval' gives the CI for Unconditioned Delta",  // 34
    "'Alternative measures' if checked shows conditioned Delta and Lord and Novick Delta",  // 35
    "",  // 36
    "Analysis options are settings for the iterative process",  // 37
    "Graphic output",  // 38
    "Du = Unconditiioned Delta",  // 39
    "Dc = Conditioned Delta",  // 40
    "D  = True knowledge",  // 41
    "D Lord & Novick can also be shown",  // 42
    "",  // 43
    "",  // 44
    "",  // 45
    "------------------------------------------------",  // 46
    "Warranty Disclaimer",  // 47
    "------------------------------------------------",  // 48
    " ",  // 49
    " ",  // 50
    " ",  // 51
    "",  // 52
    "",  // 53
    " ",  // 54
    "",  // 55
    " ",  // 56
    "",  // 57
};

constexpr int kHeaderHeight = 80;
constexpr int kTextLeftMargin = 25;

}  // namespace

QStringList AboutLines() {
  QStringList lines;
  lines.reserve(static_cast<qsizetype>(kAboutLines.size()));
  for (const std::string_view line : kAboutLines)
    lines << QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
  return lines;
}

void BuildAboutPage(QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  auto* header = new QWidget(page);
  header->setObjectName(QStringLiteral("AboutHeader"));
  header->setFixedHeight(kHeaderHeight);
  auto* headerLayout = new QHBoxLayout(header);
  headerLayout->setContentsMargins(kTextLeftMargin, 0, 0, 0);
  headerLayout->setSpacing(12);

  auto* title = new QLabel(QStringLiteral("Veltrano"), header);
  title->setObjectName(QStringLiteral("AboutTitle"));
  QFont titleFont = title->font();
  titleFont.setPointSize(12);
  title->setFont(titleFont);
  QPalette titlePalette = title->palette();
  titlePalette.setColor(QPalette::WindowText, titlePalette.color(QPalette::Link));
  title->setPalette(titlePalette);

  auto* version = new QLabel(QStringLiteral("v 1.0 - 2014"), header);
  version->setObjectName(QStringLiteral("AboutVersion"));
  QFont versionFont = version->font();
  versionFont.setPointSize(8);
  version->setFont(versionFont);
  QPalette versionPalette = version->palette();
  versionPalette.setColor(QPalette::WindowText, QColor(128, 128, 128));
  version->setPalette(versionPalette);

  headerLayout->addWidget(title, 0, Qt::AlignVCenter);
  headerLayout->addWidget(version, 0, Qt::AlignVCenter);
  headerLayout->addStretch(1);
  layout->addWidget(header);

  auto* body = new QHBoxLayout();
  body->setContentsMargins(kTextLeftMargin, 0, 0, 0);
  auto* text = new QPlainTextEdit(page);
  text->setObjectName(QStringLiteral("AboutText"));
  text->setReadOnly(true);
  text->setFrameShape(QFrame::NoFrame);
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text->setPlainText(AboutLines().join(u'\n'));
  body->addWidget(text);
  layout->addLayout(body, 1);
}

}  // namespace veltrano
