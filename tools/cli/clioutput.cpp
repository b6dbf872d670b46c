#include "clioutput.h"

#include <cstdio>

namespace {

std::function<void()> beforeEachPrint;

void printLine(std::FILE* stream, const QString& text)
{
    if (beforeEachPrint)
        beforeEachPrint();
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void printOut(const QString& text)
{
    printLine(stdout, text);
}

void printError(const QString& text)
{
    printLine(stderr, text);
}

void setBeforeEachPrint(std::function<void()> hook)
{
    beforeEachPrint = std::move(hook);
}
