#include "Csv.h"

namespace csv {

bool needsQuotes(std::string_view field)
{
    return field.find_first_of(",\"\r\n") != std::string_view::npos;
}

void appendField(std::string& out, std::string_view field)
{
    if (!needsQuotes(field)) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

namespace {
template <typename Fields>
void appendFields(std::string& out, const Fields& fields)
{
    // A record of one empty field would be an empty line, which readers
    // take for no field at all.
    if (fields.size() == 1 && std::string_view(*fields.begin()).empty()) {
        out += "\"\"";
        out += kRecordEnd;
        return;
    }
    bool first = true;
    for (const auto& f : fields) {
        if (!first)
            out += ',';
        first = false;
        appendField(out, f);
    }
    out += kRecordEnd;
}
} // namespace

void appendRecord(std::string& out, std::initializer_list<std::string_view> fields)
{
    appendFields(out, fields);
}

void appendRecord(std::string& out, const std::vector<std::string>& fields)
{
    appendFields(out, fields);
}

Reader::Reader(std::istream& in, std::size_t maxFieldBytes) : m_in(in), m_max(maxFieldBytes) {}

bool Reader::fill()
{
    if (m_eof)
        return false;
    m_buffer.resize(65536);
    m_in.read(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
    m_buffer.resize(static_cast<std::size_t>(m_in.gcount()));
    m_pos = 0;
    if (m_in.bad()) {
        m_error = Error::ReadFailed;
        m_errorLine = m_line;
        m_eof = true;
        m_buffer.clear();
        return false;
    }
    if (m_buffer.empty()) {
        m_eof = true;
        return false;
    }
    return true;
}

int Reader::peek()
{
    if (m_pos >= m_buffer.size() && !fill())
        return -1;
    return static_cast<unsigned char>(m_buffer[m_pos]);
}

int Reader::get()
{
    const int c = peek();
    if (c < 0)
        return c;
    ++m_pos;
    if (c == '\n' || (c == '\r' && peek() != '\n'))
        ++m_line;
    return c;
}

bool Reader::next(std::vector<Field>& fields)
{
    // The fields of the last record are used again, with their room.
    std::size_t count = 0;
    if (m_error != Error::None || peek() < 0) {
        fields.clear();
        return false;
    }
    m_recordLine = m_line;
    const auto tooLong = [&](const Field& field) {
        if (field.text.size() <= m_max)
            return false;
        m_error = Error::FieldTooLong;
        m_errorLine = field.line;
        return true;
    };
    for (;;) {
        if (count == fields.size())
            fields.emplace_back();
        Field& field = fields[count++];
        field.text.clear();
        field.line = m_line;
        int c = peek();
        if (c == '"') {
            get();
            for (;;) {
                if (peek() < 0) {
                    if (m_error == Error::None) {
                        m_error = Error::UnclosedQuote;
                        m_errorLine = field.line;
                    }
                    return false;
                }
                // The text up to the next quote or line end in the buffer
                // at once; line ends one at a time, to count them.
                const std::size_t end = m_buffer.find_first_of("\"\r\n", m_pos);
                const std::size_t stop = end == std::string::npos ? m_buffer.size() : end;
                field.text.append(m_buffer, m_pos, stop - m_pos);
                m_pos = stop;
                if (tooLong(field))
                    return false;
                if (end == std::string::npos)
                    continue;
                c = get();
                if (c == '"') {
                    if (peek() != '"')
                        break;
                    get();
                }
                field.text += static_cast<char>(c);
            }
        }
        // Unquoted text, or what follows a closing quote, up to the separator.
        for (;;) {
            if (peek() < 0)
                break;
            const std::size_t end = m_buffer.find_first_of(",\r\n", m_pos);
            const std::size_t stop = end == std::string::npos ? m_buffer.size() : end;
            field.text.append(m_buffer, m_pos, stop - m_pos);
            m_pos = stop;
            if (tooLong(field))
                return false;
            if (end != std::string::npos)
                break;
        }
        if (m_error != Error::None)
            return false;
        c = get();
        if (c == ',')
            continue;
        if (c == '\r' && peek() == '\n')
            get();
        fields.resize(count);
        return m_error == Error::None;
    }
}

} // namespace csv
