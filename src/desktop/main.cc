// tarvex-desktop: the mail window over the user's Maildir, with the
// plug-in's toolbar and dialogs.
#include <QApplication>
#include <QCommandLineParser>

#include "desktop/desktop_session.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("tarvex-desktop");
  QApplication::setApplicationDisplayName("Tarvex");
  QCommandLineParser parser;
  parser.setApplicationDescription("The Tarvex spam filter in a mail window.");
  parser.addHelpOption();
  const QCommandLineOption config("config", "The settings file.", "file");
  const QCommandLineOption maildir("maildir", "The Maildir to show and filter.", "folder");
  parser.addOption(config);
  parser.addOption(maildir);
  parser.process(app);
  tarvex::ProfileOptions options;
  options.config = parser.value(config).toStdString();
  options.maildir = parser.value(maildir).toStdString();
  return tarvex::desktop::RunDesktop(options);
}
