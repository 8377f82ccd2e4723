#pragma once

#include "library/LibraryRoot.h"

#include <giomm/icon.h>
#include <memory>
#include <string>
#include <vector>

class FSNodeInfo;
using FSNodeInfoArray = std::vector<std::shared_ptr<FSNodeInfo>>;

// One file or folder of the lesson library. Nodes are short-lived: every answer comes from the
// live file system, except the one cached contents test. A child keeps its parent alive.
class FSNodeInfo : public std::enable_shared_from_this<FSNodeInfo> {
    struct Key {};

public:
    // A top node (no parent) takes a full absolute path; a child takes its name.
    static std::shared_ptr<FSNodeInfo> nodeWithParent(std::shared_ptr<FSNodeInfo> parent,
                                                      const std::string& relativePath,
                                                      LibraryRoot* app);
    FSNodeInfo(Key, std::shared_ptr<FSNodeInfo> parent, std::string relativePath, LibraryRoot* app);

    const std::string& relativePath() const { return relativePath_; }
    std::string lastPathComponent() const;
    std::string absolutePath() const;

    // Every entry of the folder, hidden ones included, in listing order; empty when the path
    // cannot be listed.
    FSNodeInfoArray subNodes();
    FSNodeInfoArray visibleSubNodes();
    // The folder's visible plain files and packages.
    FSNodeInfoArray visibleSubNodesNotDirs();

    bool containsFiles();
    bool containsDirs();

    bool isVisible() const;
    bool isDirectory() const;
    bool isReadable() const;
    bool isLink() const;
    std::string fsType() const;

    // The node's icon: the content type's themed icon (for a link with the "FSIconImage-LinkArrow"
    // picture as an emblem), the "FSIconImage-Default" picture when the type has none, or null
    // when even that picture is missing. The widget side turns it into a picture of a size.
    Glib::RefPtr<Gio::Icon> icon() const;

    // The last component of a path, trailing separators ignored ("/" stays "/").
    static std::string lastPathComponentOf(const std::string& path);

private:
    FSNodeInfoArray filtered(bool keepDirectories);
    void runContainsTest();

    // Fields that share their name with their accessor carry a trailing underscore.
    std::string relativePath_;
    std::shared_ptr<FSNodeInfo> parentNode;
    LibraryRoot* app;
    bool containsFiles_ = false;
    bool containsDirs_ = false;
    bool didContainTest = false;
};
