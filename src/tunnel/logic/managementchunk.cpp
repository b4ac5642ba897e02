#include "tunnel/logic/managementchunk.h"

ManagementChunk judgeManagementChunk(const QByteArray &bytes)
{
    // Splitting the bytes on ',' is the same as splitting their UTF-8 text: ',' never occurs
    // inside a multi-byte sequence. Only the first three non-empty fields matter.
    ManagementChunk chunk;
    int fields = 0;
    int start = 0;
    const int size = bytes.size();
    while (start <= size && fields < 3) {
        int end = bytes.indexOf(',', start);
        if (end < 0)
            end = size;
        if (end > start) {
            if (fields == 1)
                chunk.state = bytes.mid(start, end - start);
            else if (fields == 2)
                chunk.description = bytes.mid(start, end - start);
            ++fields;
        }
        start = end + 1;
    }
    chunk.judged = fields == 3;
    if (!chunk.judged) {
        chunk.state.clear();
        chunk.description.clear();
    }
    return chunk;
}

QVector<ManagementChunk> judgeManagementRead(const QByteArray &bytes)
{
    QVector<ManagementChunk> judged;
    int start = 0;
    for (int newline = bytes.indexOf('\n'); newline >= 0; newline = bytes.indexOf('\n', start)) {
        ManagementChunk line = judgeManagementChunk(bytes.mid(start, newline + 1 - start));
        if (line.judged) {
            line.line = bytes.mid(start, newline + 1 - start);
            judged.append(line);
        }
        start = newline + 1;
    }
    return judged;
}

QVector<ManagementChunk> ManagementLineReader::judge(const QByteArray &bytes)
{
    tail += bytes;
    const int lastNewline = tail.lastIndexOf('\n');
    QVector<ManagementChunk> judged;
    if (lastNewline >= 0) {
        judged = judgeManagementRead(tail.left(lastNewline + 1));
        tail.remove(0, lastNewline + 1);
    }
    if (tail.size() > lineLimit)
        tail.clear();
    return judged;
}

QStringList RepeatedLineLog::take(const QString &line)
{
    if (line == last) {
        ++repeats;
        return {};
    }
    QStringList lines;
    if (repeats > 0)
        lines << QStringLiteral("以上消息又重复%1次，未逐条记录").arg(repeats);
    lines << line;
    last = line;
    repeats = 0;
    return lines;
}
