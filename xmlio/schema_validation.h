#pragma once
// XSD validation through libxml2, for LoadValidatedDocument only. Nothing here reaches
// the network or a document type definition.

#include <memory>
#include <string>

namespace pelagon::detail {

// Makes libxml2 ready and refuses every external resource that is not a local file.
void InitializeSchemaBackend();

class CompiledSchema;

struct CompiledSchemaDeleter {
  void operator()(CompiledSchema* schema) const;
};
using SchemaHandle = std::unique_ptr<CompiledSchema, CompiledSchemaDeleter>;

// Raises _com_error whose description says what is wrong with the schema.
SchemaHandle LoadSchema(const std::string& schemaPath);

// Empty when the file is well-formed and conforms to the schema, else the first problems, one
// a line: where ("/DeviceSeries/aMediaInfoList/MediaInfo[3]/nDryTime (line 2)", or the line
// and column of a file that is not well-formed), then what, in plain words.
std::string ValidateAgainstSchema(const CompiledSchema& schema, const std::string& path);

}  // namespace pelagon::detail
