#pragma once

// The routes of each area of the service, registered on the router.

namespace velmora::server {

class Router;
class Service;

// /health, /session, /web/signin
void AddSessionRoutes(Router& router, Service& service);
// /account, /acls (the document), /folders...
void AddLibraryRoutes(Router& router, Service& service);
// /upload, /files/{owner}/{folder}/{file}
void AddTransferRoutes(Router& router, Service& service);
// /acls (the lists and members), /users, /directory
void AddSharingRoutes(Router& router, Service& service);
// /messages, /appmessages, /mail, /mail/link
void AddMessageRoutes(Router& router, Service& service);
// /f, /d, /6/8, /player
void AddPageRoutes(Router& router, Service& service);

} // namespace velmora::server
