// SPDX-License-Identifier: GPL-3.0-or-later
// The About box with its credits and two links, the user guide, and the Additional
// Options dialog.
#include <QCheckBox>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "AboutBox.h"
#include "AdditionalOptions.h"
#include "LibAVCodec.h"
#include "LibAVUtil.h"
#include "LinkLabel.h"
#include "ProfileCatalogue.h"
#include "ProgramFolder.h"
#include "SpinEdit.h"
#include "WindowFixture.h"

using namespace korvane;
using namespace korvane::test;

class DialogsTest : public QObject {
  Q_OBJECT
 public slots:
  // Stands in for the desktop's browser, mail program and file viewer.
  void OpenUrl(const QUrl &Url) { Opened << Url; }

 private:
  QList<QUrl> Opened;

 private slots:
  void init() {
    Opened.clear();
    for (const char *Scheme : {"https", "mailto", "file"})
      QDesktopServices::setUrlHandler(Scheme, this, "OpenUrl");
  }
  void cleanup() {
    for (const char *Scheme : {"https", "mailto", "file"}) QDesktopServices::unsetUrlHandler(Scheme);
  }

  void AboutBoxShowsItsTextsAndLinks() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    TFormAbout &About = *Form.FormAbout;
    // It opens with the focus on OK: Enter closes it and opens nothing.
    QWidget *Focused = nullptr;
    QTimer::singleShot(0, [&] {
      Focused = About.focusWidget();
      if (Focused) QTest::keyClick(Focused, Qt::Key_Return);
      if (About.isVisible()) About.reject();
    });
    Form.About1->trigger();
    QCOMPARE(Focused, About.SpeedButton1);
    QVERIFY(Opened.isEmpty());
    QTimer::singleShot(0, [&] {
      QVERIFY(About.isVisible());
      QVERIFY(About.isModal());
      QCOMPARE(About.windowTitle(), QString("About"));
      QCOMPARE(About.size(), QSize(370, 260));
      QVERIFY(About.windowFlags() & Qt::WindowStaysOnTopHint);
      QCOMPARE(About.Label1->text(), QString("Korvane Video Converter 4.0"));
      QVERIFY(About.Label1->font().bold());
      QCOMPARE(About.Label2->text(), QString("Visit Korvane Website  for More Softwares "));
      QCOMPARE(About.Label3->text(), QString("Contact Support Department"));
      QVERIFY(About.Label2->font().underline());
      QCOMPARE(About.Label2->cursor().shape(), Qt::PointingHandCursor);
      QVERIFY(!About.Image1->pixmap().isNull());
      // The licence, and the FFmpeg and Qt in use as the loaded libraries
      // report them, whole in the fixed-size box.
      const QString Credits = About.Label4->text();
      QVERIFY2(Credits.contains("GNU GPL, version 3 or later"), qPrintable(Credits));
      QVERIFY2(Credits.contains(QString("FFmpeg ") + LibAVUtil::av_version_info()), qPrintable(Credits));
      QVERIFY2(Credits.contains(LibAVCodec::avcodec_license()), qPrintable(Credits));
      QVERIFY2(Credits.contains(QString("Qt ") + qVersion()), qPrintable(Credits));
      QVERIFY(About.Label4->height() >= About.Label4->heightForWidth(About.Label4->width()));
      QTest::mouseClick(About.Label2, Qt::LeftButton);
      QTest::mouseClick(About.Label3, Qt::LeftButton);
      QTest::mouseClick(About.SpeedButton1, Qt::LeftButton);
    });
    Form.About1->trigger();
    QVERIFY(!About.isVisible());
    QCOMPARE(Opened, QList<QUrl>({kWebSiteUrl, kSupportMailUrl}));
    Form.VisitOurWebsite1->trigger();
    QCOMPARE(Opened.last(), kWebSiteUrl);
  }

  // The guide lies beside the program and lists every profile of the list.
  void HelpOpensTheGuideBesideTheProgram() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    const QString Guide = QString::fromStdString(ProgramFolder()) + "/help.html";
    QCOMPARE(Form.HelpFile(), Guide);
    QFile Page(Guide);
    QVERIFY(Page.open(QIODevice::ReadOnly));
    const QString Html = QString::fromUtf8(Page.readAll());
    for (const TCatalogueRow &Row : OutputProfileCatalogue()) {
      if (Row.IsSeparator()) continue;
      const QString Name = QString::fromUtf8(Row.DisplayText.data(), Row.DisplayText.size()).toHtmlEscaped();
      QVERIFY2(Html.contains("<td>" + Name + "</td>"), qPrintable(Name));
    }
    Form.OpenHelpFile1->trigger();
    QCOMPARE(Opened, QList<QUrl>({QUrl::fromLocalFile(Guide)}));
  }

  // The row menu opens the output folder; a folder that is gone is named.
  void OpenOutputFolderOpensItOrSaysItIsGone() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    QTemporaryDir Folder;
    Form.EditOutputFolder->setText(Folder.path());
    Form.OpenOutputFolder1->trigger();
    QCOMPARE(Opened, QList<QUrl>({QUrl::fromLocalFile(Folder.path())}));
    Form.EditOutputFolder->setText(Folder.path() + "/gone");
    Form.OpenOutputFolder1->trigger();
    QCOMPARE(Opened.size(), 1);
    QCOMPARE(Window.Messages.Texts(),
             QStringList(
                 {"The output folder \"" + Folder.path() +
                  "/gone\"\n\rdoes not exist or has been deleted!\n\rPlease choose a new output folder."}));
  }

  void MissingHelpShowsNothing() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    Form.SetHelpFile(Form.HelpFile() + ".missing");
    Form.OpenHelpFile1->trigger();
    QVERIFY(Opened.isEmpty());
    QVERIFY(Window.Messages.Shown.empty());
  }

  void AdditionalOptionsStaysOnTopAndDoneHidesIt() {
    TWindowUnderTest Window;
    TForm1 &Form = Window.Form();
    TForm4 &Options = *Form.Form4;
    QVERIFY(!Options.isVisible());
    Form.SetGeneralOptions1->trigger();
    QVERIFY(Options.isVisible());
    QVERIFY(!Options.isModal());
    QCOMPARE(Options.windowTitle(), QString("Additional Options"));
    // Its classic size, or more where its texts need it; fixed.
    QVERIFY(Options.width() >= 408 && Options.height() >= 247);
    QCOMPARE(Options.minimumSize(), Options.maximumSize());
    QVERIFY(Options.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(Options.CheckBoxOverWrite->text(), QString("Overwrite Existing File With The Same Name"));
    QCOMPARE(Options.Label1->text(), QString(" Drop Down Items in Output Format List"));
    // The arrows stay inside 26 .. 47.
    Options.SpinEdit1->SetValue(47);
    Options.SpinEdit1->stepBy(1);
    QCOMPARE(Options.SpinEdit1->Value(), 47);
    Options.SpinEdit1->SetValue(3);
    QCOMPARE(Options.SpinEdit1->Value(), 26);
    Options.SpinEdit1->lineEdit()->clear();
    QCOMPARE(Options.SpinEdit1->Value(), 26);
    // The main window stays usable beside it.
    Form.CheckAllItems1->trigger();
    QTest::mouseClick(Options.Button1, Qt::LeftButton);
    QVERIFY(!Options.isVisible());
  }
};

KORVANE_WINDOW_TEST(DialogsTest);

#include "DialogsTest.moc"
