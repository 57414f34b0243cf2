#include "MimeMail.h"

#include "MailCharset.h"
#include "RosterText.h"

#include <gmime/gmime.h>

#include <mutex>

namespace roster {

namespace {

void initGMimeOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

template <typename T> struct GObjectPtr {
    T* p = nullptr;
    explicit GObjectPtr(T* object) : p(object) {}
    ~GObjectPtr()
    {
        if (p)
            g_object_unref(p);
    }
    GObjectPtr(const GObjectPtr&) = delete;
    GObjectPtr& operator=(const GObjectPtr&) = delete;
};

// The first text/plain part, looking into multiparts; a part without a
// Content-Type is text/plain as MIME says.
GMimePart* firstTextPart(GMimeObject* object)
{
    if (!object)
        return nullptr;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        const int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count; ++i)
            if (GMimePart* part = firstTextPart(g_mime_multipart_get_part(multipart, i)))
                return part;
        return nullptr;
    }
    if (!GMIME_IS_PART(object))
        return nullptr;
    GMimeContentType* type = g_mime_object_get_content_type(object);
    if (type && !g_mime_content_type_is_type(type, "text", "plain"))
        return nullptr;
    return GMIME_PART(object);
}

std::string rawHeader(GMimeObject* object, const char* name)
{
    GMimeHeaderList* headers = g_mime_object_get_header_list(object);
    GMimeHeader* header = headers ? g_mime_header_list_get_header(headers, name) : nullptr;
    const char* raw = header ? g_mime_header_get_raw_value(header) : nullptr;
    return raw ? raw : "";
}

} // namespace

bool parseMail(std::string_view raw, ParsedMail& out, std::string& problem)
{
    initGMimeOnce();
    out = ParsedMail();
    GObjectPtr<GMimeStream> stream(
        g_mime_stream_mem_new_with_buffer(raw.data(), raw.size()));
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.p));
    GObjectPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.p, nullptr));
    if (!message.p) {
        problem = say("not a mail message", "メールとして読めません");
        return false;
    }
    if (const char* id = g_mime_message_get_message_id(message.p))
        out.messageId = id;
    if (InternetAddressList* from = g_mime_message_get_from(message.p)) {
        for (int i = 0; i < internet_address_list_length(from) && out.from.empty(); ++i) {
            InternetAddress* address = internet_address_list_get_address(from, i);
            if (INTERNET_ADDRESS_IS_MAILBOX(address))
                if (const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)))
                    out.from = addr;
        }
    }
    if (GDateTime* date = g_mime_message_get_date(message.p)) {
        out.hasDate = true;
        out.utcSeconds = g_date_time_to_unix(date);
        out.offsetMinutes = static_cast<int>(g_date_time_get_utc_offset(date) / G_TIME_SPAN_MINUTE);
    }
    // The subject is decoded here rather than by GMime, whose converters
    // refuse code page 932 characters in words labelled Shift_JIS.
    out.subject = decodeHeaderText(rawHeader(GMIME_OBJECT(message.p), "Subject"));

    GMimePart* part = firstTextPart(g_mime_message_get_mime_part(message.p));
    if (!part) {
        problem = say("no text in the mail", "本文のテキストがありません");
        return false;
    }
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    std::string bytes;
    if (content) {
        GObjectPtr<GMimeStream> decoded(g_mime_stream_mem_new());
        g_mime_data_wrapper_write_to_stream(content, decoded.p);
        GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(decoded.p));
        if (array && array->len > 0)
            bytes.assign(reinterpret_cast<const char*>(array->data), array->len);
    }
    const char* charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
    if (!toCp932(bytes, charset ? charset : "", out.body)) {
        problem = say("the body's charset is unknown: ", "本文の文字コードが不明です: ") + std::string(charset);
        return false;
    }
    return true;
}

} // namespace roster
