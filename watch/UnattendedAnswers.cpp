#include "watch/UnattendedAnswers.h"

namespace qv {

void UnattendedAnswers::Ask(const QString& text, const QString&, IPrompter::Buttons buttons,
                            IPrompter::Icon, std::function<void(int)> given) {
    int answer = IPrompter::AnswerCancel;
    QString name = QStringLiteral("Cancel");
    switch (buttons) {
        case IPrompter::Ok:
            answer = IPrompter::AnswerOk;
            name = QStringLiteral("OK");
            break;
        case IPrompter::YesNo:
        case IPrompter::YesNoCancel:
            answer = IPrompter::AnswerNo;
            name = QStringLiteral("No");
            break;
        case IPrompter::OkCancel:
        case IPrompter::RetryCancel:
            break;
    }
    m_say(given ? text + QStringLiteral(" [answered %1 without asking]").arg(name) : text);
    if (given) {
        given(answer);
    }
}

void UnattendedAnswers::Notice(const QString& text, IPrompter::Icon, unsigned) {
    m_say(text);
}

void UnattendedAnswers::ShowHostResponse(const QString& caption, const QString& text) {
    // The reply can be long: its first line tells what the host made of the request.
    const QString first = text.section(QLatin1Char('\n'), 0, 0).trimmed().left(200);
    m_say(caption + QStringLiteral(": ") + first);
}

void UnattendedAnswers::AskCredentials(const QString& server, const QString&,
                                       UserQuestions::CredentialsAnswer answer) {
    m_say(QStringLiteral("The host %1 asks for a log-in: refused without asking; write the "
                         "user name and password into the target URL.")
              .arg(server));
    answer(std::nullopt);
}

}  // namespace qv
