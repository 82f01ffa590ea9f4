#include <signal.h>
#include <sys/resource.h>

#include <QApplication>
#include <QComboBox>
#include <QDirIterator>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>

#include "FileSystemLimits.h"
#include "ReportSupport.h"
#include "dialogs/DialogCommon.h"
#include "dialogs/UsageDialog.h"
#include "dialogs/UsageWizard.h"
#include "report/FontDialog.h"
#include "report/LoadConfig.h"
#include "report/ProblemsWindow.h"
#include "report/ReportPrint.h"
#include "report/SaveConfig.h"
#include "report/UserName.h"
#include "scan/SafeFile.h"
#include "settings/HistoryBox.h"

namespace {

std::string ReadFile(const QString& path) {
  std::string out;
  EXPECT_TRUE(ReadWholeFile(path.toStdString(), out)) << path.toStdString();
  return out;
}

// Runs a poppler tool; empty when it is missing.
QString RunTool(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(30000)) return {};
  return QString::fromUtf8(process.readAllStandardOutput());
}

// The words pdftotext finds on the pages, in points from each page's top left.
struct PrintedWord {
  QSizeF page;
  QRectF box;
  QString text;
};

std::vector<PrintedWord> PrintedWords(const QString& bbox) {
  std::vector<PrintedWord> words;
  const QRegularExpression item(
      "<page width=\"([0-9.]+)\" height=\"([0-9.]+)\"|<word xMin=\"([0-9.]+)\" "
      "yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)<");
  QSizeF page;
  for (const QRegularExpressionMatch& m : item.globalMatch(bbox)) {
    if (!m.captured(1).isEmpty()) {
      page = QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
      continue;
    }
    const QPointF topLeft(m.captured(3).toDouble(), m.captured(4).toDouble());
    const QPointF bottomRight(m.captured(5).toDouble(), m.captured(6).toDouble());
    words.push_back({page, QRectF(topLeft, bottomRight), m.captured(7)});
  }
  return words;
}

TEST_F(ReportTest, SaveAsWritesTheTextFormAndOffersTheSectionNameEveryTime) {
  auto window = NewWindow();
  window->Tree().LoadText("....12K  top\r\n\t.....4K  sub\r\n");
  const QString target = TempPath("report.txt");
  {
    QFile old(target);  // an existing file is replaced when the user says so
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(5000, 'z'));
  }
  QStringList offered;
  answer = [&](QDialog& d) {
    if (qobject_cast<QMessageBox*>(&d)) return int(QMessageBox::Yes);
    auto* dialog = qobject_cast<QFileDialog*>(&d);
    EXPECT_NE(dialog, nullptr);
    if (!dialog) return 0;
    EXPECT_EQ(dialog->defaultSuffix(), "txt");
    EXPECT_EQ(dialog->nameFilters(), QStringList({"Text Files (*.txt)"}));
    offered << dialog->findChild<QLineEdit*>("fileNameEdit")->text();
    dialog->selectFile(offered.size() == 1 ? target : TempPath("second"));
    return int(QDialog::Accepted);
  };
  Trigger(*window, "SaveAs1");
  EXPECT_EQ(ReadFile(target), "....12K  top\r\n\t.....4K  sub\r\n");

  // The default extension is added; the name chosen before is not offered again.
  window->Tree().Clear();
  Trigger(*window, "SaveAs1");
  EXPECT_EQ(offered, QStringList({"Usage Report.txt", "Usage Report.txt"}));
  EXPECT_EQ(ReadFile(TempPath("second.txt")), "");  // an empty report: zero bytes

  // Cancel writes nothing; a file that cannot be made is reported.
  answer = [&](QDialog&) { return int(QDialog::Rejected); };
  Trigger(*window, "SaveAs1");
  answer = [&](QDialog& d) {
    if (auto* dialog = qobject_cast<QFileDialog*>(&d)) {
      dialog->selectFile(TempPath("missing/folder/r.txt"));
      return int(QDialog::Accepted);
    }
    return int(QMessageBox::Ok);
  };
  Trigger(*window, "SaveAs1");
  EXPECT_EQ(LastErrorText(), "Cannot create file " + TempPath("missing/folder/r.txt") +
                                 ": No such file or directory.");
}

// Save As asks before it replaces a file, once, also when the name was typed
// without the extension the dialog adds; Cancel brings the dialog back with
// the name and leaves the file alone.
TEST_F(ReportTest, SaveAsAsksOnceBeforeReplacingAFile) {
  auto window = NewWindow();
  window->Tree().LoadText("....12K  top\r\n");
  const QString target = TempPath("kept.txt");
  {
    QFile mine(target);
    ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
    mine.write("mine");
  }
  // A question the dialog asked itself would not come through the hook:
  // it is counted and closed.
  int askedByTheDialog = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      ++askedByTheDialog;
      box->reject();
    }
  });
  watch.start(10);
  QStringList met;
  bool replace = false;
  answer = [&](QDialog& d) {
    if (auto* dialog = qobject_cast<QFileDialog*>(&d)) {
      auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
      met << "dialog " + name->text();
      if (met.size() > 1) return int(QDialog::Rejected);
      // Typed as a user types it, then OK, which the dialog checks.
      dialog->setDirectory(home_.path());
      name->setText("kept");
      dialog->setResult(0);
      static_cast<QDialog*>(dialog)->accept();  // the dialog's own OK
      return dialog->result();
    }
    if (auto* box = qobject_cast<QMessageBox*>(&d)) {
      met << box->text();
      const QString folder = VORN_SCREENSHOT_DIR;
      QDir().mkpath(folder);
      box->adjustSize();
      EXPECT_TRUE(box->grab().save(folder + "/replace-question.png"));
      return int(replace ? QMessageBox::Yes : QMessageBox::No);
    }
    return int(QMessageBox::Ok);
  };
  const QString question = "\"" + target + "\" already exists. Replace it?";
  Trigger(*window, "SaveAs1");
  EXPECT_EQ(met, QStringList({"dialog Usage Report.txt", question, "dialog kept.txt"}));
  EXPECT_EQ(ReadFile(target), "mine");
  met.clear();
  replace = true;
  Trigger(*window, "SaveAs1");
  EXPECT_EQ(met, QStringList({"dialog Usage Report.txt", question}));
  EXPECT_EQ(ReadFile(target), "....12K  top\r\n");
  EXPECT_EQ(askedByTheDialog, 0);
}

TEST_F(ReportTest, SaveAsAndPrintOnAFullDiskSayWhatFailedAndKeepTheOldFiles) {
  auto window = NewWindow();
  std::string text;
  for (int i = 0; i < 200; ++i) text += "...." + std::to_string(100 + i) + "K  folder\r\n";
  window->Tree().LoadText(text);
  const QString target = TempPath("report.txt"), pdf = TempPath("report.pdf");
  for (const QString& file : {target, pdf}) {
    QFile old(file);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
  }
  answer = [&](QDialog& d) {
    if (auto* dialog = qobject_cast<QFileDialog*>(&d)) {
      dialog->selectFile(target);
      return int(QDialog::Accepted);
    }
    if (auto* dialog = qobject_cast<QPrintDialog*>(&d)) {
      dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
      dialog->printer()->setOutputFileName(pdf);
      return int(QDialog::Accepted);
    }
    if (d.objectName() == "ReplaceQuestion") return int(QMessageBox::Yes);
    return int(QMessageBox::Ok);
  };
  {
    FileSizeLimit limit(1024);
    Trigger(*window, "SaveAs1");
    EXPECT_EQ(LastErrorText(), "Cannot create file " + target + ": File too large.");
    ClearLastErrorText();
    Trigger(*window, "Print1");
    EXPECT_TRUE(LastErrorText().startsWith("Cannot create file " + TmpFolder() + "/xxx"))
        << LastErrorText().toStdString();
  }
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(ReadFile(pdf), "old");

  // Room for the text but not for the whole PDF: the old PDF stays and the
  // user is told, where Qt's writer alone would leave a torn file unsaid.
  const QString whole = TempPath("whole.pdf");
  answer = [&](QDialog& d) {
    if (auto* dialog = qobject_cast<QPrintDialog*>(&d)) {
      dialog->printer()->setOutputFileName(whole);
      return int(QDialog::Accepted);
    }
    return int(QMessageBox::Ok);
  };
  Trigger(*window, "Print1");
  const qint64 pdfSize = QFileInfo(whole).size();
  ASSERT_GT(pdfSize, qint64(text.size()) + 2048);
  ASSERT_EQ(ReadFile(whole).substr(ReadFile(whole).size() - 6), "%%EOF\n");
  answer = [&](QDialog& d) {
    if (auto* dialog = qobject_cast<QPrintDialog*>(&d)) {
      dialog->printer()->setOutputFileName(pdf);
      return int(QDialog::Accepted);
    }
    return int(QMessageBox::Ok);
  };
  ClearLastErrorText();
  {
    FileSizeLimit limit(static_cast<rlim_t>(text.size() + 1024));
    Trigger(*window, "Print1");
  }
  EXPECT_EQ(LastErrorText(), "Cannot create file " + pdf + ".");
  EXPECT_EQ(ReadFile(pdf), "old");
  // The name chosen is kept for the next print.
  EXPECT_EQ(window->Printer().outputFileName(), pdf);
  EXPECT_EQ(QDir(TmpFolder()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList());
  EXPECT_EQ(QDir(home_.path()).entryList(QStringList{".vt*"}, QDir::Files | QDir::Hidden),
            QStringList());
}

// A settings folder that cannot be written costs the user one message, with
// the file and the reason, and the program goes on: a second window of the
// same run meets the same store in silence.
TEST_F(ReportTest, SettingsThatCannotBeKeptAreToldOnceWithTheReason) {
  const QString folder = home_.filePath("config");
  QDir().mkpath(folder);
  // Read-only for root too: a read-only file system.
  TmpfsMount readOnly(folder.toStdString(), "size=16k", MS_RDONLY);
  if (!readOnly.Mounted()) {
    ::chmod(QFile::encodeName(folder).constData(), 0555);
    if (::geteuid() == 0) GTEST_SKIP() << "SKIPPED LOUDLY: no read-only mount here";
  }
  const QString store = folder + "/Zelvik Software/Vorntools.conf";
  QStringList told;
  answer = [&](QDialog& d) {
    if (auto* box = qobject_cast<QMessageBox*>(&d)) told << box->text();
    return int(QMessageBox::Ok);
  };
  for (int run = 0; run < 2; ++run) {
    auto window = NewWindow();
    window->Tree().LoadText("....1K  kept\r\n");
    window->resize(700, 500);
    window.reset();  // its settings are written as it goes
  }
  ::chmod(QFile::encodeName(folder).constData(), 0755);
  const QString reason = readOnly.Mounted() ? "Read-only file system" : "Permission denied";
  EXPECT_EQ(told, QStringList{"Cannot write settings file " + store + ": " + reason + "."});
}

TEST_F(ReportTest, PrintsToAPdfPageByPageWithinMarginsAndRemovesItsTemporaryFile) {
  auto window = NewWindow();
  std::string text;
  for (int i = 0; i < 150; ++i) {
    text += "...." + std::to_string(100 + i) + "K  folder" + std::to_string(i) + "\r\n";
    text += "\t.....1K  child" + std::to_string(i) + "\r\n";
  }
  // A label wider than the page wraps; deeper down it goes on under its own start.
  text += std::string(400, 'W') + "\r\n";
  text += "\t....9K  deep\r\n\t\t....5K  " + std::string(300, 'M') + "\r\n";
  // Deep levels are indented no further than two fifths of the width, and
  // say their level instead.
  for (int level = 3; level <= 12; ++level) {
    text += std::string(static_cast<std::size_t>(level), '\t') + "....1K  level" +
            std::to_string(level) + "\r\n";
  }
  window->Tree().LoadText(text);
  const QString pdf = TempPath("report.pdf");
  answer = [&](QDialog& d) {
    auto* dialog = qobject_cast<QPrintDialog*>(&d);
    EXPECT_NE(dialog, nullptr);
    if (!dialog) return 0;
    dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
    dialog->printer()->setOutputFileName(pdf);
    return int(QDialog::Accepted);
  };
  Trigger(*window, "Print1");
  ASSERT_TRUE(QFileInfo::exists(pdf));
  EXPECT_EQ(LastErrorText(), "");
  // Named for the program and the starting folders: in the print queue and as the PDF's title.
  EXPECT_EQ(window->Printer().docName(), "Usage Vorntool - folder0, folder1, folder2 and 148 more");
  // What was printed went through the hidden rich edit, in the report's font.
  EXPECT_TRUE(window->RichEdit1->toPlainText().startsWith("....100K  folder0\n\t.....1K  child0"));
  EXPECT_EQ(window->RichEdit1->font(), window->resultField->font());

  const QString info = RunTool("pdfinfo", {pdf});
  if (info.isEmpty()) GTEST_SKIP() << "pdfinfo is not installed";
  const QRegularExpressionMatch pages = QRegularExpression("Pages:\\s+(\\d+)").match(info);
  ASSERT_TRUE(pages.hasMatch());
  const int pageCount = pages.captured(1).toInt();
  EXPECT_GT(pageCount, 3);  // 311 lines of 10 point do not fit one page
  EXPECT_TRUE(info.contains(
      QRegularExpression("Title:\\s+Usage Vorntool - folder0, folder1, folder2 and 148 more\\n")))
      << info.toStdString();
  const QString printed = RunTool("pdftotext", {"-layout", pdf, "-"});
  EXPECT_TRUE(printed.contains("folder0"));
  EXPECT_TRUE(printed.contains("child149"));
  // Every page is headed by the folders, the date and its number of all.
  const QStringList sheets = printed.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
  ASSERT_GE(sheets.size(), pageCount);
  for (int n = 1; n <= pageCount; ++n) {
    const QString top = sheets[n - 1].section(QLatin1Char('\n'), 0, 1);
    EXPECT_TRUE(top.contains(QString("Page %1 of %2").arg(n).arg(pageCount))) << top.toStdString();
    EXPECT_TRUE(top.contains("folder0, folder1")) << top.toStdString();
    EXPECT_TRUE(top.contains("Printed ")) << top.toStdString();  // no scan in this run
  }
  // Every word of every page keeps at least 15 mm from each edge of the paper.
  const QString boxes = RunTool("pdftotext", {"-bbox", pdf, "-"});
  const std::vector<PrintedWord> words = PrintedWords(boxes);
  ASSERT_GT(words.size(), 300u);
  const double least = 15.0 / 25.4 * 72.0;
  for (const PrintedWord& w : words) {
    EXPECT_GE(w.box.left(), least) << w.text.toStdString();
    EXPECT_GE(w.box.top(), least) << w.text.toStdString();
    EXPECT_LE(w.box.right(), w.page.width() - least) << w.text.toStdString();
    EXPECT_LE(w.box.bottom(), w.page.height() - least) << w.text.toStdString();
  }
  auto left = [&](const QString& word) {
    for (const PrintedWord& w : words)
      if (w.text == word) return w.box.left();
    return -1.0;
  };
  // Each leading TAB indents by half an inch (36 points).
  const double margin = left("....100K");
  EXPECT_NEAR(left(".....1K"), margin + 36.0, 1.0);
  EXPECT_NEAR(left("....5K"), margin + 72.0, 1.0);
  // The wrapped label's pieces all start under the label's start.
  int pieces = 0;
  for (const PrintedWord& w : words) {
    if (!w.text.startsWith("MMM")) continue;
    ++pieces;
    if (pieces > 1) {
      EXPECT_NEAR(w.box.left(), left("....5K"), 0.5);
    }
  }
  EXPECT_GT(pieces, 2);
  // Levels indent by half an inch as far as two fifths of the width; deeper
  // ones start there too, after their level.
  const double widest = words.front().page.width() - 2 * least;
  int cap = 0;
  for (int level = 3; level <= 12; ++level) {
    std::size_t i = 0;
    while (i < words.size() && words[i].text != QString("level%1").arg(level)) ++i;
    ASSERT_GE(i, 2u) << level;
    const PrintedWord& marker = words[i - 2];
    if (marker.text == QString::number(level) + QString::fromUtf8("\u00bb")) {
      if (cap == 0) cap = level - 1;
      // The level stands in the indentation; the size keeps the deepest column.
      EXPECT_LT(marker.box.right(), margin + cap * 36.0) << level;
      EXPECT_NEAR(words[i - 1].box.left(), margin + cap * 36.0, 1.0) << level;
    } else {
      EXPECT_EQ(cap, 0) << level;  // no shallower line after a deep one
      EXPECT_NEAR(words[i - 1].box.left(), margin + level * 36.0, 1.0) << level;
    }
  }
  ASSERT_GT(cap, 2);  // 12 levels of half an inch need more than the cap allows
  EXPECT_LE(cap * 36.0, 0.4 * widest);
  // The temporary file is gone.
  EXPECT_TRUE(QDir(TmpFolder()).entryList(QDir::Files).isEmpty());
  // A copy for a person to look at.
  QDir().mkpath(VORN_SCREENSHOT_DIR);
  QFile::remove(VORN_SCREENSHOT_DIR "/report-print.pdf");
  QFile::copy(pdf, VORN_SCREENSHOT_DIR "/report-print.pdf");

  // Cancelling the print dialog makes no file and no job.
  QFile::remove(pdf);
  answer = [&](QDialog&) { return int(QDialog::Rejected); };
  Trigger(*window, "Print1");
  EXPECT_FALSE(QFileInfo::exists(pdf));
}

// A long report is laid out in pieces: every line is printed once, in
// order, whole on one page, and pieces join on as if they were one.
TEST_F(ReportTest, ALongReportPrintsEveryLineOnceInOrder) {
  QString text;
  const int count = 9000;
  for (int i = 0; i < count; ++i) {
    text += QString(i % 3, QLatin1Char('\t')) + QString("L%1").arg(i);
    if (i % 997 == 0) text += "  " + QString(300, QLatin1Char('W'));  // wraps to 2+ lines
    text += QLatin1Char('\n');
  }
  text.chop(1);
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  const QString pdf = TempPath("long.pdf");
  printer.setOutputFileName(pdf);
  PrintPlainText(printer, text, QFont("Monospace", 10), Qt::black, "long");
  const QString boxes = RunTool("pdftotext", {"-bbox", pdf, "-"});
  if (boxes.isEmpty()) GTEST_SKIP() << "pdftotext is not installed";
  const double least = 15.0 / 25.4 * 72.0;
  int next = 0;
  double lastBottom = 0;
  int pageNumber = 0;
  for (const PrintedWord& w : PrintedWords(boxes)) {
    EXPECT_GE(w.box.top(), least - 0.5) << w.text.toStdString();
    EXPECT_LE(w.box.bottom(), w.page.height() - least + 0.5) << w.text.toStdString();
    if (!w.text.startsWith('L')) continue;
    ASSERT_EQ(w.text, QString("L%1").arg(next)) << "page " << pageNumber;
    ++next;
    if (w.box.top() < lastBottom - 1.0)
      ++pageNumber;  // a new page begins at its top
    else
      EXPECT_GE(w.box.top(), lastBottom - 0.5) << w.text.toStdString();  // no overlap
    lastBottom = w.box.bottom();
  }
  EXPECT_EQ(next, count);
  EXPECT_GT(pageNumber, 100);  // 9,000 lines of 10 point
}

TEST_F(ReportTest, PrintingAnEmptyReportGivesOneBlankPage) {
  auto window = NewWindow();
  const QString pdf = TempPath("empty.pdf");
  answer = [&](QDialog& d) {
    auto* dialog = qobject_cast<QPrintDialog*>(&d);
    dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
    dialog->printer()->setOutputFileName(pdf);
    return int(QDialog::Accepted);
  };
  Trigger(*window, "Print1");
  const QString info = RunTool("pdfinfo", {pdf});
  if (info.isEmpty()) GTEST_SKIP() << "pdfinfo is not installed";
  EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+1\\n")));
}

TEST_F(ReportTest, FailedPrintIsReportedAndLeavesNoTemporaryFile) {
  auto window = NewWindow();
  window->Tree().LoadText("x\r\n");
  answer = [&](QDialog& d) {
    if (auto* dialog = qobject_cast<QPrintDialog*>(&d)) {
      dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
      dialog->printer()->setOutputFileName(TempPath("no/such/folder/out.pdf"));
      return int(QDialog::Accepted);
    }
    return int(QMessageBox::Ok);
  };
  Trigger(*window, "Print1");
  EXPECT_TRUE(LastErrorText().startsWith("Cannot print to ")) << LastErrorText().toStdString();
  EXPECT_TRUE(QDir(TmpFolder()).entryList(QDir::Files).isEmpty());
}

TEST_F(ReportTest, SetupPrinterSettingsAreKeptForLaterPrints) {
  auto window = NewWindow();
  answer = [&](QDialog& d) {
    QPrinter* printer = nullptr;
    if (auto* setup = qobject_cast<QPageSetupDialog*>(&d)) printer = setup->printer();
    if (auto* print = qobject_cast<QPrintDialog*>(&d)) printer = print->printer();
    EXPECT_EQ(printer, &window->Printer());
    if (!printer) return 0;
    printer->setPageOrientation(QPageLayout::Landscape);
    return int(QDialog::Accepted);
  };
  Trigger(*window, "SetupPrinter1");
  EXPECT_EQ(window->Printer().pageLayout().orientation(), QPageLayout::Landscape);
}

TEST_F(ReportTest, FontGoesToTreeAndPrintCopyAndComesBackWithoutItsColour) {
  {
    auto window = NewWindow();
    answer = [&](QDialog& d) {
      auto* dialog = qobject_cast<TFontDialog*>(&d);
      EXPECT_NE(dialog, nullptr);
      if (!dialog) return 0;
      QFont font = dialog->Font();
      // Opens on the current font (or the face it is drawn with where it is missing).
      EXPECT_EQ(dialog->findChild<QFontDialog*>()->currentFont().family(),
                QFontInfo(window->resultField->font()).family());
      font.setPointSize(14);
      font.setBold(true);
      dialog->SetFont(font);
      dialog->SetColor(Qt::red);
      return int(QDialog::Accepted);
    };
    Trigger(*window, "Font1");
    EXPECT_EQ(window->resultField->font().pointSize(), 14);
    EXPECT_TRUE(window->resultField->font().bold());
    EXPECT_EQ(window->RichEdit1->font(), window->resultField->font());
    EXPECT_EQ(window->resultField->palette().color(QPalette::Text), QColor(Qt::red));
    EXPECT_EQ(window->FontColor(), QColor(Qt::red));

    // Cancel changes nothing.
    answer = [&](QDialog& d) {
      qobject_cast<TFontDialog*>(&d)->SetFont(QFont("Courier New", 30));
      return int(QDialog::Rejected);
    };
    Trigger(*window, "Font1");
    EXPECT_EQ(window->resultField->font().pointSize(), 14);
  }
  auto window = NewWindow();
  EXPECT_EQ(window->resultField->font().pointSize(), 14);
  EXPECT_TRUE(window->resultField->font().bold());
  EXPECT_EQ(window->RichEdit1->font(), window->resultField->font());
  EXPECT_EQ(window->FontDialog1->Font().pointSize(), 14);
  EXPECT_EQ(window->resultField->palette().color(QPalette::Text), QColor(Qt::black));
}

TEST_F(ReportTest, FontDialogOkWithoutAChangeKeepsTheFontExactly) {
  QFont shown;
  answer = [&](QDialog& d) {
    shown = d.findChild<QFontDialog*>()->currentFont();
    return int(QDialog::Accepted);
  };
  {
    auto window = NewWindow();
    const QFont before = window->resultField->font();
    Trigger(*window, "Font1");
    EXPECT_FALSE(shown.italic()) << "the chooser offers an upright style";
    EXPECT_EQ(window->resultField->font(), before);
    EXPECT_EQ(window->RichEdit1->font(), before);

    QFont bold = before;
    bold.setBold(true);
    window->ApplyFont(bold, Qt::black);
    window->FontDialog1->SetFont(bold);
  }
  // A bold font read back at the next start: still bold, still upright.
  auto window = NewWindow();
  const QFont before = window->resultField->font();
  ASSERT_TRUE(before.bold());
  Trigger(*window, "Font1");
  EXPECT_TRUE(shown.bold());
  EXPECT_FALSE(shown.italic());
  EXPECT_EQ(window->resultField->font(), before);
}

TEST_F(ReportTest, EverythingIsBackAtTheNextStart) {
  const QString root = MakeFolders();
  QRect placement;
  std::string report;
  {
    auto window = NewWindow();
    window->show();
    window->SetFrameLeft(40);
    window->SetFrameTop(50);
    window->SetFrameWidth(600);
    window->SetFrameHeight(420);
    answer = [&](QDialog& d) {
      auto* dialog = qobject_cast<TUsageDialog*>(&d);
      FillDialog(*dialog, {root, root + "/a"}, "2", "1", true);
      dialog->pathEdit->setCurrentText(root);
      dialog->SelectPath(1);
      return int(mrOk);
    };
    Trigger(*window, "Dialog1");
    window->UsageWizard()->RootDirectory->setText(root + "/c");
    report = window->Tree().TextForm();
    placement =
        QRect(window->FrameLeft(), window->FrameTop(), window->FrameWidth(), window->FrameHeight());
    Trigger(*window, "Exit1");
  }
  auto window = NewWindow();
  EXPECT_EQ(window->Tree().TextForm(), report);
  EXPECT_EQ(
      QRect(window->FrameLeft(), window->FrameTop(), window->FrameWidth(), window->FrameHeight()),
      placement);
  TUsageDialog* dialog = window->UsageDialog();
  EXPECT_EQ(dialog->Folders(), QStringList({root, root + "/a"}));
  EXPECT_EQ(dialog->SelectedPathIndex(), 1);
  EXPECT_EQ(dialog->Depth->text(), "2");
  EXPECT_EQ(dialog->Size->text(), "1");
  EXPECT_TRUE(dialog->pathEdit->Entries().contains(root));
  EXPECT_EQ(window->UsageWizard()->RootDirectory->text(), root + "/c");
  EXPECT_EQ(window->SettingsVersion, 1);
}

TEST_F(ReportTest, NamedConfigurationsSaveLoadAndStartFromTheArgument) {
  const std::string user = LoggedOnUserName();
  auto window = NewWindow();
  window->UsageDialog()->Depth->setText("7");
  QStringList listed;
  answer = [&](QDialog& d) {
    auto* save = qobject_cast<TSaveConfig*>(&d);
    EXPECT_NE(save, nullptr);
    if (!save) return 0;
    EXPECT_EQ(save->EditName->text().toStdString(), user);
    for (int i = 0; i < save->ListBoxNames->count(); ++i)
      listed << save->ListBoxNames->item(i)->text();
    save->EditName->setText("Work");
    return int(QDialog::Accepted);
  };
  Trigger(*window, "SaveConfiguration1");
  EXPECT_TRUE(listed.isEmpty());

  // The window now writes to Work; change a value and load Work back.
  window->UsageDialog()->Depth->setText("9");
  answer = [&](QDialog& d) {
    auto* load = qobject_cast<TLoadConfig*>(&d);
    EXPECT_NE(load, nullptr);
    if (!load) return 0;
    EXPECT_EQ(load->ComboBoxNames->currentText(), "Work");  // the first is selected
    return int(QDialog::Accepted);
  };
  Trigger(*window, "LoadConfiguration1");
  EXPECT_EQ(window->UsageDialog()->Depth->text(), "7");

  // Clicking a listed name puts it into the name field.
  answer = [&](QDialog& d) {
    auto* save = qobject_cast<TSaveConfig*>(&d);
    EXPECT_EQ(save->ListBoxNames->count(), 1);
    save->ListBoxNames->setCurrentRow(0);
    save->ListBoxNamesClick();
    EXPECT_EQ(save->EditName->text(), "Work");
    return int(QDialog::Rejected);
  };
  Trigger(*window, "SaveConfiguration1");
  window->UsageDialog()->Depth->setText("8");
  window.reset();  // saved into Work, not into the default root

  auto plain = NewWindow();
  EXPECT_EQ(plain->UsageDialog()->Depth->text(), "0");
  plain.reset();
  auto work = NewWindow(MakeSettingsRoot({"vorntools", "D:\\Configs\\Work"}));
  EXPECT_EQ(work->UsageDialog()->Depth->text(), "8");
}

TEST_F(ReportTest, ConfigurationNamesThatWouldBeKeyPathsAreRefused) {
  auto window = NewWindow();
  for (const QString& bad : {QString(""), QString("a/b"), QString("a\\b")}) {
    ClearLastErrorText();
    answer = [&](QDialog& d) {
      if (auto* save = qobject_cast<TSaveConfig*>(&d)) {
        save->EditName->setText(bad);
        return int(QDialog::Accepted);
      }
      return int(QMessageBox::Ok);
    };
    Trigger(*window, "SaveConfiguration1");
    EXPECT_TRUE(LastErrorText().contains("cannot name a configuration")) << bad.toStdString();
  }
  // Nothing was switched or saved.
  answer = [&](QDialog& d) {
    EXPECT_EQ(qobject_cast<TLoadConfig*>(&d)->ComboBoxNames->count(), 0);
    return int(QDialog::Rejected);
  };
  Trigger(*window, "LoadConfiguration1");
  EXPECT_EQ(window->IniFile->SettingsRoot(), kDefaultSettingsRoot);
}

TEST_F(ReportTest, ScreenshotAfterAScan) {
  const QString root = MakeFolders();
  // Left out, for the status line's note and the Problems window.
  QDir().mkpath(root + "/.config");
  auto window = NewWindow();
  window->show();
  answer = [&](QDialog& d) {
    FillDialog(*qobject_cast<TUsageDialog*>(&d), {root}, "0", "0", true);
    return int(mrOk);
  };
  Trigger(*window, "Dialog1");
  window->resultField->expandAll();
  QApplication::processEvents();
  const QString folder = QString(VORN_SCREENSHOT_DIR);
  QDir().mkpath(folder);
  const QString file = folder + "/report-window.png";
  ASSERT_TRUE(window->grab().save(file));
  EXPECT_GT(QFileInfo(file).size(), 0);

  // The configuration dialogs, with a saved name listed.
  TMyIniFile(ConfigurationRoot("Work"));
  TSaveConfig save(window.get());
  save.show();
  EXPECT_TRUE(save.grab().save(folder + "/save-configuration.png"));
  TLoadConfig load(window.get());
  load.show();
  EXPECT_TRUE(load.grab().save(folder + "/load-configuration.png"));
  EXPECT_EQ(load.ComboBoxNames->currentText(), "Work");
  window->FontDialog1->show();
  EXPECT_TRUE(window->FontDialog1->grab().save(folder + "/font-dialog.png"));
  window->FontDialog1->hide();

  // Both kinds of problems: one read error among the left-out entries.
  std::vector<ScanProblem> problems = window->ProblemsWindow->Problems();
  problems.push_back({(root + "/b/shut").toStdString(), "Permission denied", false});
  window->ProblemsWindow->SetProblems(std::move(problems));
  window->ProblemsWindow->show();
  EXPECT_TRUE(window->ProblemsWindow->grab().save(folder + "/problems.png"));
  window->ProblemsWindow->hide();
}

}  // namespace
