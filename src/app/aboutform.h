#pragma once

#include <QDialog>
#include <QLabel>
#include <QUrl>
#include <functional>

namespace veruziva {

// A label that reports clicks: the about box's links.
class LinkLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The about box: product name, credits and two links that stay maroon once followed.
class TAboutForm : public QDialog {
    Q_OBJECT

public:
    explicit TAboutForm(QWidget* parent = nullptr);

    // How a link's target is opened (the desktop's browser or mail program by default).
    void setUrlOpener(std::function<void(const QUrl&)> opener) { m_open = std::move(opener); }

    void Label8Click();  // web link
    void Label7Click();  // e-mail link
    void CloseClick();

    LinkLabel* webLink() const { return m_web; }
    LinkLabel* mailLink() const { return m_mail; }
    static QUrl WebTarget();
    static QUrl MailTarget();

private:
    void follow(LinkLabel* label, const QUrl& target);

    LinkLabel* m_web;
    LinkLabel* m_mail;
    std::function<void(const QUrl&)> m_open;
};

}  // namespace veruziva
