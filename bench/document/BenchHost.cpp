#include "BenchHost.h"

#include "BlockManager.h"

BenchHost::BenchHost()
    : mixer(BlockManager::loadBlock(
          QByteArrayLiteral(
              "<block name=\"Mixer\"><category>Math</category><data name=\"mix_t\">"
              "<v socket=\"in\"/><v socket=\"in\"/><v socket=\"out\"/><v socket=\"out\"/>"
              "<v name=\"gain\" editable=\"1\" value=\"0.50\"/></data>"
              "<function type=\"main\" name=\"mix\"><![CDATA[ ]]></function>"
              "</block>"),
          BlockDescription::OriginLibrary))
{
}

const BlockDescription* BenchHost::blockDescription(const QString& name, bool) const
{
    return name == mixer.name ? &mixer : nullptr;
}
