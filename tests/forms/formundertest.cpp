#include "formundertest.h"

FormUnderTest::FormUnderTest(const Node &node)
    : m_form(NodeForm::create(node))
    , m_updates(std::make_unique<QSignalSpy>(m_form.get(), SIGNAL(updateNode(Node, int))))
{
}

FormUnderTest::FormUnderTest(int type)
    : FormUnderTest(healthyNode(Node::eFirmwareType(type)))
{
}

void FormUnderTest::retype(const QString &editName, const QString &keys) const
{
    ::retype(edit(editName), keys);
}

Node FormUnderTest::sent(int index) const
{
    return m_updates->at(index).at(0).value<Node>();
}

int FormUnderTest::sentFlags(int index) const
{
    return m_updates->at(index).at(1).toInt();
}
