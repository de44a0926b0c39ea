#pragma once

#include <QDialog>
#include <QString>

class QTextBrowser;

namespace veruziva {

// The help file "Veruziva.hlp" (HTML inside): beside the program, or in the installed data
// folder. Empty when there is none.
QString FindHelpFile();

// Shows the help file at a topic (an anchor of the file).
class HelpViewer : public QDialog {
    Q_OBJECT

public:
    HelpViewer(const QString& file, QWidget* parent);
    void showTopic(const QString& topic);
    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
};

}  // namespace veruziva
