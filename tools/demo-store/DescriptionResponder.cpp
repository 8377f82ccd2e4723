#include "DescriptionResponder.h"

#include "LessonResponder.h"

#include <fstream>
#include <sstream>

namespace {

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::string::size_type at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

bool isPlainName(const std::string& name) {
    return !name.empty() && name.front() != '.' && name.find('/') == std::string::npos;
}

} // namespace

int DescriptionResponder::respond(SoupServerMessage* message, const std::string& folder,
                                  const std::string& baseURL, const FaultPlan& plan) {
    const char* query = g_uri_get_query(soup_server_message_get_uri(message));
    std::ifstream in;
    if (query && isPlainName(query))
        in.open(folder + "/" + query + ".xml", std::ios::binary);
    if (!in.is_open()) {
        soup_server_message_set_status(message, SOUP_STATUS_NOT_FOUND, nullptr);
        return SOUP_STATUS_NOT_FOUND;
    }
    std::stringstream contents;
    contents << in.rdbuf();
    std::string description = replaceAll(contents.str(), "{{base}}", baseURL);
    if (plan.bytesPerSecond > 0 || plan.noContentLength) {
        FaultPlan pace;
        pace.bytesPerSecond = plan.bytesPerSecond;
        pace.noContentLength = plan.noContentLength;
        std::string served = folder + "/.served-" + query;
        std::ofstream(served, std::ios::binary) << description;
        return LessonResponder::respond(message, served, pace);
    }
    soup_server_message_set_status(message, SOUP_STATUS_OK, nullptr);
    soup_server_message_set_response(message, "application/xml", SOUP_MEMORY_COPY,
                                     description.data(), description.size());
    return SOUP_STATUS_OK;
}
