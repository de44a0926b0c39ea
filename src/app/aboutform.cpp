#include "app/aboutform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QMouseEvent>
#include <QPushButton>

#include "app/appicon.h"
#include "app/helpviewer.h"
#include "platform/messageboxes.h"

namespace veruziva {

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

QUrl TAboutForm::WebTarget() {
    // The folder of the user guide, as a browsable address ending in "/".
    const QString help = FindHelpFile();
    const QString folder =
        help.isEmpty() ? QCoreApplication::applicationDirPath() : QFileInfo(help).absolutePath();
    return QUrl::fromLocalFile(QDir::cleanPath(folder) + QLatin1Char('/'));
}

QUrl TAboutForm::MailTarget() {
    return QUrl(QStringLiteral("mailto:%1?subject=Veruziva%20%26%20Multimeter")
                    .arg(QLatin1String(MailAddress)));
}

TAboutForm::TAboutForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_web(new LinkLabel(this)),
      m_mail(new LinkLabel(this)),
      m_open([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About Zoruzoz Veruziva & Multimeter"));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));  // the forms' face
    setFixedSize(326, 117);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setPixmap(AppPixmap(32));
    icon->setGeometry(8, 8, 32, 32);

    auto* empty = new QLabel(QString(), this);
    empty->setObjectName(QStringLiteral("Label1"));
    empty->setGeometry(48, 4, 10, 13);

    auto* credits = new QLabel(QStringLiteral("<b>Veruziva &amp; Multimeter</b> %1<br>"
                                              "Oscilloscope and multimeter on a sound card.<br>"
                                              "Written by the Veruziva developers.")
                                   .arg(QCoreApplication::applicationVersion()),
                               this);
    credits->setObjectName(QStringLiteral("Credits"));
    credits->setGeometry(48, 6, 272, 44);

    m_web->setObjectName(QStringLiteral("Label8"));
    m_web->setText(QStringLiteral("<u>User guide folder</u>"));
    m_web->setToolTip(WebTarget().toString());
    m_web->setCursor(Qt::PointingHandCursor);
    m_web->setGeometry(48, 52, 130, 16);
    m_mail->setObjectName(QStringLiteral("Label7"));
    m_mail->setText(QStringLiteral("<u>Write an e-mail about it</u>"));
    m_mail->setToolTip(MailTarget().toString());
    m_mail->setCursor(Qt::PointingHandCursor);
    m_mail->setGeometry(184, 52, 136, 16);
    for (LinkLabel* link : {m_web, m_mail}) {
        QPalette palette = link->palette();
        palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
        link->setPalette(palette);
    }

    auto* thanks =
        new QLabel(QStringLiteral("Built with Qt, ALSA, libpulse and libsndfile."), this);
    thanks->setObjectName(QStringLiteral("Credits2"));
    thanks->setGeometry(48, 72, 272, 16);

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("Close"));
    close->setGeometry(244, 88, 75, 25);

    connect(m_web, &LinkLabel::clicked, this, &TAboutForm::Label8Click);
    connect(m_mail, &LinkLabel::clicked, this, &TAboutForm::Label7Click);
    connect(close, &QPushButton::clicked, this, &TAboutForm::CloseClick);
}

void TAboutForm::follow(LinkLabel* label, const QUrl& target, const QString& otherwise) {
    // Where no program is set up to open it, the link would do nothing at all: say where to go.
    if (m_open && !m_open(target) && m_boxes != nullptr) {
        m_boxes->showMessage(otherwise);
    }
    // A followed link stays marked for the rest of the run.
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(128, 0, 0));
    label->setPalette(palette);
}

void TAboutForm::Label8Click() {
    follow(m_web, WebTarget(),
           QStringLiteral("No program here opens folders. The user guide is in %1")
               .arg(WebTarget().toLocalFile()));
}

void TAboutForm::Label7Click() {
    follow(m_mail, MailTarget(),
           QStringLiteral("No mail program is set up here. Write to %1")
               .arg(QLatin1String(MailAddress)));
}

void TAboutForm::CloseClick() {
    done(QDialog::Accepted);
}

}  // namespace veruziva
