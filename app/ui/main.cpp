// Start-up: the application object, its title, the main window (whose creation runs FormCreate),
// then the event loop until the main window has closed.

#include <QApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <clocale>
#include <cstdio>
#include <exception>
#include <memory>

#include "MainWindow.h"
#include "QtMessageBox.h"

namespace {

// Qt's own dialog and box buttons ("Sim", "Não", "Cancelar") in the window's language, which is
// Portuguese whatever the system's locale is.
void InstallToolkitTranslations(QApplication& app, QTranslator& translator) {
    if (translator.load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"),
                        QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&translator);
}

// Offscreen and minimal platforms have no screen a box could be seen on; a box there would only
// wait forever for an answer.
bool HasVisibleScreen() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

}  // namespace

int main(int argc, char* argv[]) {
    // Texts for the client library are converted to the locale's code set.
    std::setlocale(LC_ALL, "");
    QApplication app(argc, argv);
    // Not the display name: Qt would append that to the window's caption.
    QApplication::setApplicationName(QStringLiteral("Tovanel"));
    QTranslator translator;
    InstallToolkitTranslations(app, translator);

    std::unique_ptr<tovanel::TMainWindow> window;
    try {
        window = std::make_unique<tovanel::TMainWindow>();
    } catch (const std::exception& failure) {
        // Nothing is caught during creation: the window is never shown and the program ends.
        std::fprintf(stderr, "%s\n", failure.what());
        if (HasVisibleScreen())
            tovanel::ShowQtMessageBox(nullptr, failure.what(), "Tovanel", tovanel::MessageKind::Error);
        return 1;
    }
    window->show();
    return QApplication::exec();
}
