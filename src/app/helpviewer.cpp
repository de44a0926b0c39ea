#include "app/helpviewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace veruziva {

QString FindHelpFile() {
    const QString folder = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {folder + QStringLiteral("/Veruziva.hlp"),
                                     folder + QStringLiteral("/../share/veruziva/Veruziva.hlp")}) {
        if (QFileInfo(candidate).isFile()) {
            return QDir::cleanPath(candidate);
        }
    }
    return {};
}

HelpViewer::HelpViewer(const QString& file, QWidget* parent)
    : QDialog(parent), m_browser(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("Veruziva and multimeter - Help"));
    m_browser->setOpenExternalLinks(true);
    QFile help(file);
    if (help.open(QIODevice::ReadOnly)) {
        m_browser->setSearchPaths({QFileInfo(file).absolutePath()});
        m_browser->setHtml(QString::fromUtf8(help.readAll()));
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(640, 560);
}

void HelpViewer::showTopic(const QString& topic) {
    m_browser->scrollToAnchor(topic);
}

}  // namespace veruziva
