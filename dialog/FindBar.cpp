#include "dialog/FindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace tamboro {

FindBar::FindBar(QWidget* parent)
    : QWidget(parent), m_caption(new QLabel(tr("絞り込み:"), this)), m_text(new QLineEdit(this)),
      m_counts(new QLabel(this)), m_close(new QToolButton(this))
{
    m_text->setPlaceholderText(tr("フォルダ・ジャンル・タイトル・アーティストに含まれる文字"));
    m_text->setClearButtonEnabled(true);
    m_text->installEventFilter(this);
    m_caption->setBuddy(m_text);
    m_close->setText(tr("×"));
    m_close->setToolTip(tr("絞り込みを閉じる (Esc)"));
    m_close->setAutoRaise(true);
    m_close->setFocusPolicy(Qt::NoFocus);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 2);
    layout->addWidget(m_caption);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_counts);
    layout->addWidget(m_close);
    setFocusProxy(m_text);
    SetCounts(0, 0);

    connect(m_text, &QLineEdit::textChanged, this, &FindBar::TextChanged);
    connect(m_close, &QToolButton::clicked, this, &FindBar::CloseRequested);
}

QString FindBar::Text() const
{
    return m_text->text();
}

void FindBar::SetCounts(int shown, int listed)
{
    m_counts->setText(tr("%1 / %2").arg(shown).arg(listed));
}

QString FindBar::CountsText() const
{
    return m_counts->text();
}

void FindBar::FocusText()
{
    m_text->setFocus(Qt::ShortcutFocusReason);
    m_text->selectAll();
}

bool FindBar::eventFilter(QObject* watched, QEvent* event)
{
    // Taken before the text box (and the dialog behind it) see them: Enter
    // must never press the window's default button, Escape never close it.
    if (watched == m_text && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Down:
            emit GoToListRequested();
            return true;
        case Qt::Key_Escape:
            emit CloseRequested();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FindBar::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        emit CloseRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tamboro
