#include "RequestLog.h"

#include <fstream>
#include <glib.h>
#include <sstream>

std::string StoreRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (g_ascii_strcasecmp(key.c_str(), name.c_str()) == 0)
            return value;
    return {};
}

void RequestLog::append(const std::string& file, const StoreRequest& request) {
    std::ostringstream record;
    record << "REQUEST " << request.method << ' ' << request.status << ' ' << request.path;
    if (!request.query.empty())
        record << '?' << request.query;
    record << '\n';
    for (const auto& [name, value] : request.headers)
        record << name << ": " << value << '\n';
    record << "BODY " << request.body.size() << '\n' << request.body << "\nEND\n";
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out << record.str();
}

std::vector<StoreRequest> RequestLog::read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<StoreRequest> requests;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("REQUEST ", 0) != 0)
            continue;
        StoreRequest request;
        std::istringstream first(line.substr(8));
        std::string target;
        first >> request.method >> request.status >> target;
        auto question = target.find('?');
        request.path = target.substr(0, question);
        if (question != std::string::npos)
            request.query = target.substr(question + 1);
        while (std::getline(in, line) && line.rfind("BODY ", 0) != 0) {
            auto colon = line.find(": ");
            if (colon != std::string::npos)
                request.headers.emplace_back(line.substr(0, colon), line.substr(colon + 2));
        }
        std::size_t length = line.size() > 5 ? std::stoul(line.substr(5)) : 0;
        request.body.resize(length);
        in.read(request.body.data(), static_cast<std::streamsize>(length));
        request.body.resize(static_cast<std::size_t>(in.gcount()));
        request.range = request.header("Range");
        request.ifRange = request.header("If-Range");
        requests.push_back(std::move(request));
    }
    return requests;
}
