#include "xml_parser.h"

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLException.hpp>

#include <memory>
#include <utility>
#include <vector>

namespace velmora {

namespace xc = XERCES_CPP_NAMESPACE;

namespace {

constexpr char kSystemId[] = "velmoraxmlparser";
constexpr char kParseErrorPrefix[] = "an error occured during parsing. message: ";

// Only for messages raised before the platform (and so its transcoders) is up.
std::string NarrowAscii(const XMLCh* text) {
    std::string out;
    for (; text && *text; ++text)
        out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

// Converts the parser's UTF-16 to UTF-8 whatever the locale, through one
// transcoder per parse. Most service text is ASCII and is copied directly.
class Utf8Converter {
public:
    Utf8Converter() {
        xc::XMLTransService::Codes code = xc::XMLTransService::Ok;
        transcoder_.reset(xc::XMLPlatformUtils::fgTransService->makeNewTranscoderFor(
            xc::XMLRecognizer::UTF_8, code, 16 * 1024));
    }

    bool valid() const { return transcoder_ != nullptr; }

    std::string operator()(const XMLCh* text) const {
        return text ? (*this)(text, xc::XMLString::stringLen(text)) : std::string();
    }

    std::string operator()(const XMLCh* text, XMLSize_t length) const {
        std::string out;
        if (!text || length == 0)
            return out;
        XMLSize_t i = 0;
        while (i < length && text[i] < 0x80)
            ++i;
        if (i == length) {
            out.resize(length);
            for (XMLSize_t j = 0; j < length; ++j)
                out[j] = static_cast<char>(text[j]);
            return out;
        }
        xc::TranscodeToStr utf8(text, length, transcoder_.get());
        out.assign(reinterpret_cast<const char*>(utf8.str()), utf8.length());
        return out;
    }

private:
    std::unique_ptr<xc::XMLTranscoder> transcoder_;
};

// The error handler of one parse; its texts belong to that parse alone.
class ParseErrorHandler : public xc::ErrorHandler {
public:
    explicit ParseErrorHandler(const Utf8Converter& convert) : convert_(convert) {}

    void warning(const xc::SAXParseException& e) override {
        warning_ = convert_(e.getMessage());
        hasWarning_ = true;
    }
    void error(const xc::SAXParseException& e) override { Fail(e); }
    void fatalError(const xc::SAXParseException& e) override { Fail(e); }
    void resetErrors() override {}

    bool failed() const { return failed_; }
    bool hasWarning() const { return hasWarning_; }
    const std::string& errorText() const { return error_; }
    const std::string& warningText() const { return warning_; }

private:
    void Fail(const xc::SAXParseException& e) {
        error_ = convert_(e.getMessage());
        failed_ = true;
    }

    const Utf8Converter& convert_;
    std::string error_;
    std::string warning_;
    bool failed_ = false;
    bool hasWarning_ = false;
};

const xc::DOMNode* FirstTextChild(const xc::DOMElement* element) {
    for (const xc::DOMNode* n = element->getFirstChild(); n; n = n->getNextSibling()) {
        auto type = n->getNodeType();
        if (type == xc::DOMNode::TEXT_NODE || type == xc::DOMNode::CDATA_SECTION_NODE)
            return n;
    }
    return nullptr;
}

} // namespace

// Builds the node tree of an element; declared a friend by XmlNode.
struct XmlNodeBuilder {
    static bool Convert(const xc::DOMElement* root, XmlNode& out, const Utf8Converter& convert,
                        std::string& errorText);
};

bool XmlNodeBuilder::Convert(const xc::DOMElement* root, XmlNode& out, const Utf8Converter& convert,
                             std::string& errorText) {
    // Walked with an explicit stack: a hostile document can nest elements far
    // deeper than the call stack would allow. Each node's children are all
    // placed before any of them is visited, so the pointers held here never
    // move.
    std::vector<std::pair<const xc::DOMElement*, XmlNode*>> pending{{root, &out}};
    while (!pending.empty()) {
        auto [element, node] = pending.back();
        pending.pop_back();

        node->name_ = convert(element->getTagName());
        if (const xc::DOMNode* text = FirstTextChild(element))
            node->text_ = convert(text->getNodeValue());
        if (const xc::DOMNamedNodeMap* attributes = element->getAttributes()) {
            for (XMLSize_t i = 0, n = attributes->getLength(); i < n; ++i) {
                const xc::DOMNode* a = attributes->item(i);
                node->attributes_[convert(a->getNodeName())] = convert(a->getNodeValue());
            }
        }

        const std::size_t count = element->getChildElementCount();
        if (count == 0)
            continue;
        if (node->depth_ >= XmlParser::kMaxDepth) {
            errorText = std::string(kParseErrorPrefix) + "elements nested deeper than " +
                        std::to_string(XmlParser::kMaxDepth) + " levels";
            return false;
        }
        node->children_.resize(count);
        std::size_t i = 0;
        for (const xc::DOMElement* c = element->getFirstElementChild(); c && i < count;
             c = c->getNextElementSibling(), ++i) {
            node->children_[i].depth_ = node->depth_ + 1;
            pending.emplace_back(c, &node->children_[i]);
        }
    }
    return true;
}

XmlParser& XmlParser::instance() {
    // Made on first use and deliberately never destroyed. Xerces may only be
    // terminated when no parse runs anywhere, and at exit the message poller
    // or another worker can still be inside one; terminating then would free
    // the platform under its feet. The process's end reclaims the memory.
    static XmlParser* parser = new XmlParser();
    return *parser;
}

XmlParser::XmlParser() {
    try {
        xc::XMLPlatformUtils::Initialize();
        initialized_ = true;
    } catch (const xc::XMLException& e) {
        initError_ = std::string("error during xerces-c initialization. ") +
                     "  exception message: " + NarrowAscii(e.getMessage());
    }
}

std::string XmlParser::lastError() const {
    std::lock_guard lock(mutex_);
    return error_;
}

std::string XmlParser::lastWarning() const {
    std::lock_guard lock(mutex_);
    return warning_;
}

void XmlParser::Publish(const std::string& error, const std::string* warning) {
    std::lock_guard lock(mutex_);
    error_ = error;
    if (warning)
        warning_ = *warning;
}

XmlNode XmlParser::Parse(const std::string& text, std::string* error) {
    XmlNode result;
    std::string errorText;
    std::string warningText;
    bool hasWarning = false;

    if (!initialized_) {
        errorText = initError_;
    } else {
        try {
            Utf8Converter convert;
            if (!convert.valid())
                throw std::string(kParseErrorPrefix) + "no UTF-8 transcoder";
            ParseErrorHandler handler(convert);
            xc::SecurityManager security;
            security.setEntityExpansionLimit(kEntityExpansionLimit);

            xc::XercesDOMParser parser;
            parser.setErrorHandler(&handler);
            parser.setValidationScheme(xc::XercesDOMParser::Val_Never);
            parser.setDoNamespaces(false);
            parser.setDoSchema(false);
            parser.setLoadSchema(false);
            parser.setLoadExternalDTD(false);
            parser.setSkipDTDValidation(true);
            parser.setDisableDefaultEntityResolution(true);
            // Internal entities are expanded in place, so an element's text is
            // one text node rather than pieces around entity reference nodes.
            parser.setCreateEntityReferenceNodes(false);
            parser.setCreateCommentNodes(false);
            parser.setSecurityManager(&security);

            xc::MemBufInputSource source(reinterpret_cast<const XMLByte*>(text.data()), text.size(),
                                         kSystemId, false);
            parser.parse(source);

            hasWarning = handler.hasWarning();
            warningText = handler.warningText();
            if (handler.failed()) {
                errorText = handler.errorText();
            } else if (const xc::DOMDocument* doc = parser.getDocument()) {
                if (const xc::DOMElement* root = doc->getDocumentElement())
                    if (!XmlNodeBuilder::Convert(root, result, convert, errorText))
                        result = XmlNode();
            }
        } catch (const xc::XMLException& e) {
            errorText = std::string(kParseErrorPrefix) + NarrowAscii(e.getMessage());
            result = XmlNode();
        } catch (const std::string& e) {
            errorText = e;
            result = XmlNode();
        } catch (...) {
            errorText = "uncaught exception during xml parsing.";
            result = XmlNode();
        }
    }

    Publish(errorText, hasWarning ? &warningText : nullptr);
    if (error)
        *error = std::move(errorText);
    return result;
}

} // namespace velmora
