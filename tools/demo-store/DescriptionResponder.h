#pragma once

#include "FaultPlan.h"

#include <libsoup/soup.h>
#include <string>

// Answers "/downloadStore/download.php?QUERY" with the download description stored as
// {folder}/{QUERY}.xml, where "{{base}}" stands for the store's own https address so the lesson
// links carry the port chosen at start. A slow or length-less plan paces descriptions as it does
// lessons.
class DescriptionResponder {
public:
    static int respond(SoupServerMessage* message, const std::string& folder,
                       const std::string& baseURL, const FaultPlan& plan);
};
