#pragma once

#include <QDialog>
#include <QLabel>
#include <QUrl>
#include <functional>

namespace veruziva {

class MessageBoxes;

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

    // How a link's target is opened (the desktop's file manager or mail program by default);
    // false when nothing could open it.
    void setUrlOpener(std::function<bool(const QUrl&)> opener) { m_open = std::move(opener); }
    // Where it says that a link could not be followed, and what to do instead.
    void setMessageBoxes(MessageBoxes* boxes) { m_boxes = boxes; }

    void Label8Click();  // web link
    void Label7Click();  // e-mail link
    void CloseClick();

    LinkLabel* webLink() const { return m_web; }
    LinkLabel* mailLink() const { return m_mail; }
    static QUrl WebTarget();
    static QUrl MailTarget();
    static constexpr const char* MailAddress = "veruziva@zoruzoz.org";

private:
    void follow(LinkLabel* label, const QUrl& target, const QString& otherwise);

    LinkLabel* m_web;
    LinkLabel* m_mail;
    std::function<bool(const QUrl&)> m_open;
    MessageBoxes* m_boxes = nullptr;
};

}  // namespace veruziva
