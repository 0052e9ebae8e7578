// The texts of the HTTP status table.
#include "net/request_pipeline/http_status_text.h"

#include <algorithm>
#include <iterator>

#include "net/request_pipeline/trace_text.h"

namespace qx::net {

namespace {

struct StatusText {
  uint32_t status;
  const char16_t* text;
};

constexpr StatusText kStatusTexts[] = {
    {100, u"(100) The request can be continued."},
    {101, u"(101) The server has switched protocols in an upgrade header."},
    {201, u"(201) The request has been fulfilled and resulted in the creation of a new resource."},
    {202,
     u"(202) The request has been accepted for processing, but the processing has not been "
     u"completed."},
    {203,
     u"(203) The returned meta information in the entity-header is not the definitive set "
     u"available from the origin server."},
    {204,
     u"(204) The server has fulfilled the request, but there is no new information to send "
     u"back."},
    {205,
     u"(205) The request has been completed, and the client program should reset the "
     u"document view that caused the request to be sent to allow the user to easily "
     u"initiate another input action."},
    {206, u"(206) The server has fulfilled the partial GET request for the resource."},
    {300, u"(300) The server couldn't decide what to return."},
    {301,
     u"(301) The requested resource has been assigned to a new permanent URI (Uniform "
     u"Resource Identifier), and any future references to this resource should be done "
     u"using one of the returned URIs."},
    {302,
     u"(302) The requested resource resides temporarily under a different URI (Uniform "
     u"Resource Identifier)."},
    {303,
     u"(303) The response to the request can be found under a different URI (Uniform "
     u"Resource Identifier) and should be retrieved using a GET HTTP verb on that "
     u"resource."},
    {304, u"(304) The requested resource has not been modified."},
    {305,
     u"(305) The requested resource must be accessed through the proxy given by the "
     u"location field."},
    {307, u"(307) The redirected request keeps the same HTTP verb. HTTP/1.1 behavior."},
    {400, u"(400) The request could not be processed by the server due to invalid syntax."},
    {402, u"(402) Not currently implemented in the HTTP protocol."},
    {403, u"(403) The server understood the request, but is refusing to fulfill it."},
    {404,
     u"(404) The server has not found anything matching the requested URI (Uniform "
     u"Resource Identifier)."},
    {405, u"(405) The HTTP verb used is not allowed."},
    {406, u"(406) No responses acceptable to the client were found."},
    {408, u"(408) The server timed out waiting for the request."},
    {409,
     u"(409) The request could not be completed due to a conflict with the current state "
     u"of the resource. The user should resubmit with more information."},
    {410,
     u"(410) The requested resource is no longer available at the server, and no "
     u"forwarding address is known."},
    {411, u"(411) The server refuses to accept the request without a defined content length."},
    {412,
     u"(412) The precondition given in one or more of the request header fields evaluated "
     u"to false when it was tested on the server."},
    {413,
     u"(413) The server is refusing to process a request because the request entity is "
     u"larger than the server is willing or able to process."},
    {414,
     u"(414) The server is refusing to service the request because the request URI "
     u"(Uniform Resource Identifier) is longer than the server is willing to interpret."},
    {415,
     u"(415) The server is refusing to service the request because the entity of the "
     u"request is in a format not supported by the requested resource for the requested "
     u"method."},
    {449, u"(449) The request should be retried after doing the appropriate action."},
    {500,
     u"(500) The server encountered an unexpected condition that prevented it from "
     u"fulfilling the request."},
    {501,
     u"(501) The server does not support the functionality required to fulfill the "
     u"request."},
    {502,
     u"(502) The server, while acting as a gateway or proxy, received an invalid response "
     u"from the upstream server it accessed in attempting to fulfill the request."},
    {503, u"(503) The service is temporarily overloaded."},
    {504, u"(504) The request was timed out waiting for a gateway."},
    {505,
     u"(505) The server does not support, or refuses to support, the HTTP protocol "
     u"version that was used in the request message."},
};

}  // namespace

std::u16string HttpStatusMessage(uint32_t status) {
  auto found = std::find_if(std::begin(kStatusTexts), std::end(kStatusTexts),
                            [status](const StatusText& row) { return row.status == status; });
  if (found != std::end(kStatusTexts)) return found->text;
  return u"(" + DecimalText(static_cast<int32_t>(status)) + u") Unidentified status code";
}

}  // namespace qx::net
