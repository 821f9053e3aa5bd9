#include "BlockDescription.h"

#include <utility>

BlockDescription::BlockDescription(const BlockDescription& other)
    : name(other.name), hash(other.hash), category(other.category), info(other.info),
      dataName(other.dataName), variables(other.variables), functions(other.functions),
      globals(other.globals), mainName(other.mainName), mainCode(other.mainCode), help(other.help),
      origin(other.origin), fileName(other.fileName), filePath(other.filePath),
      rawData(other.rawData)
{
    rebuildSockets();
}

BlockDescription& BlockDescription::operator=(const BlockDescription& other)
{
    if (this != &other) {
        BlockDescription copy(other);
        *this = std::move(copy);
    }
    return *this;
}

// A moved std::vector keeps its buffer, so the moved pointer lists stay valid.
BlockDescription::BlockDescription(BlockDescription&& other) noexcept
    : name(std::move(other.name)), hash(std::move(other.hash)), category(std::move(other.category)),
      info(std::move(other.info)), dataName(std::move(other.dataName)),
      variables(std::move(other.variables)), inputs(std::move(other.inputs)),
      outputs(std::move(other.outputs)), functions(std::move(other.functions)),
      globals(std::move(other.globals)), mainName(std::move(other.mainName)),
      mainCode(std::move(other.mainCode)), help(std::move(other.help)), origin(other.origin),
      fileName(std::move(other.fileName)), filePath(std::move(other.filePath)),
      rawData(std::move(other.rawData))
{
    other.inputs.clear();
    other.outputs.clear();
}

BlockDescription& BlockDescription::operator=(BlockDescription&& other) noexcept
{
    if (this != &other) {
        name = std::move(other.name);
        hash = std::move(other.hash);
        category = std::move(other.category);
        info = std::move(other.info);
        dataName = std::move(other.dataName);
        variables = std::move(other.variables);
        inputs = std::move(other.inputs);
        outputs = std::move(other.outputs);
        functions = std::move(other.functions);
        globals = std::move(other.globals);
        mainName = std::move(other.mainName);
        mainCode = std::move(other.mainCode);
        help = std::move(other.help);
        origin = other.origin;
        fileName = std::move(other.fileName);
        filePath = std::move(other.filePath);
        rawData = std::move(other.rawData);
        other.inputs.clear();
        other.outputs.clear();
    }
    return *this;
}

void BlockDescription::rebuildSockets()
{
    inputs.clear();
    outputs.clear();
    for (const Variable& v : variables) {
        if (v.socketKind == Variable::SocketInput)
            inputs.append(&v);
        else if (v.socketKind == Variable::SocketOutput)
            outputs.append(&v);
    }
}
