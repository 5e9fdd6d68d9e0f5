#pragma once

// The one XML parser of the process, built on the Xerces-C DOM parser. The
// texts it reads come from the network, so it loads no DTD and no external
// entity, bounds entity expansion and refuses documents nested too deeply.

#include "xml_node.h"

#include <mutex>
#include <string>

namespace velmora {

class XmlParser {
public:
    // Documents nested deeper than this are refused rather than converted.
    static constexpr int kMaxDepth = 1000;
    // Entity references a document may expand in all; the replies use none.
    static constexpr unsigned kEntityExpansionLimit = 64;

    static XmlParser& instance();

    // The document element of text as a node tree, or an empty node when the
    // text does not parse. When error is given it receives this parse's error
    // text (empty on success), whatever other threads parse meanwhile.
    XmlNode Parse(const std::string& text, std::string* error = nullptr);

    // Whether the Xerces platform is up.
    bool initialized() const { return initialized_; }

    // The error text of the parse that ended last (empty when it succeeded)
    // and the warning text of the last parse that gave a warning.
    std::string lastError() const;
    std::string lastWarning() const;

    XmlParser(const XmlParser&) = delete;
    XmlParser& operator=(const XmlParser&) = delete;

private:
    XmlParser();
    ~XmlParser() = default;

    void Publish(const std::string& error, const std::string* warning);

    bool initialized_ = false;
    std::string initError_;
    mutable std::mutex mutex_;
    std::string error_;
    std::string warning_;
};

} // namespace velmora
