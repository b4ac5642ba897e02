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
    while (start < bytes.size()) {
        const int newline = bytes.indexOf('\n', start);
        const int end = newline < 0 ? bytes.size() : newline + 1;
        const ManagementChunk line = judgeManagementChunk(bytes.mid(start, end - start));
        if (line.judged)
            judged.append(line);
        start = end;
    }
    return judged;
}
