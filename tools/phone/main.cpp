#include "phoneoptions.h"
#include "phoneserver.h"
#include "servicepublisher.h"

#include "transport/wifitransport.h"

#include <QCoreApplication>

#include <csignal>
#include <memory>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // A client that goes away mid-answer must not kill the server.
    std::signal(SIGPIPE, SIG_IGN);

    phone::PhoneOptions options;
    QString message;
    switch (phone::PhoneOptions::parse(app.arguments().mid(1), &options, &message)) {
    case phone::PhoneOptions::Outcome::help:
        std::fputs(message.toLocal8Bit().constData(), stdout);
        return 0;
    case phone::PhoneOptions::Outcome::error:
        std::fputs(("zorvane-phone: " + message).toLocal8Bit().constData(), stderr);
        return 2;
    case phone::PhoneOptions::Outcome::run:
        break;
    }

    phone::PhoneServer server(options);
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "zorvane-phone: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    std::unique_ptr<phone::ServicePublisher> publisher;
    if (!options.publishName.isEmpty()) {
        publisher = std::make_unique<phone::ServicePublisher>(options.publishName, WiFiTransport::serviceType(),
                                                             server.listeningPort());
        if (!publisher->start(&error)) {
            std::fprintf(stderr, "zorvane-phone: %s\n", error.toLocal8Bit().constData());
            return 1;
        }
    }
    std::printf("listening on %s\n", server.listeningAddress().toLocal8Bit().constData());
    std::fflush(stdout);
    return app.exec();
}
