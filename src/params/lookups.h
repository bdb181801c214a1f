#pragma once
// The look-ups behind the parameter fields: which nutritionists, aggregated branches and
// product groupings belong to the central kitchen. Each opens a query (or asks the server)
// and leaves the rows where the caller's list or check reads them.

#include <optional>
#include <string>

#include "platform/dataset/dataset.h"
#include "platform/db/database.h"
#include "platform/net/connection.h"

namespace kve::params {

// Gives every look-up query its text.
void PrepareNutricioList(TADOIBQuery& qryNutricio);
void PrepareNutricioCheck(TADOIBQuery& qryVdNutri);
void PrepareAgregada(TADOIBQuery& qryAgregada);
void PrepareAgregadaOper(TADOIBQuery& qryAgregadaOper);

// Reopens the list of the central's nutritionists.
void OpenNutricioList(TADOIBQuery& qryNutricio, const std::string& central);

// The name of nutritionist `code` of the central, or nothing when it has no row there.
std::optional<std::string> FindNutricio(TADOIBQuery& qryVdNutri, const std::string& code,
                                        const std::string& central);

// Reopens the aggregated branches of the central, all of them or those the nutritionist
// serves.
void OpenAgregada(TADOIBQuery& qryAgregada, const std::string& central);
void OpenAgregadaOper(TADOIBQuery& qryAgregadaOper, const std::string& central,
                      const std::string& nutricio);

// Asks the server for product groupings (`code`, or every one when `all` is "T") and loads
// the answer into `into`, replacing its rows. A text answer is the server's error and is
// raised with its own text.
void LoadAgrupProd(RemoteCaller& server, const std::string& code, const std::string& all,
                   TClientDataSet& into);

}  // namespace kve::params
