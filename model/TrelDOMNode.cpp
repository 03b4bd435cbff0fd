#include "model/TrelDOMNode.h"

#include "model/XmlObjectFactory.h"

TrelDOMNode::TrelDOMNode() { XmlObjectFactory::getInstance()->noteCreated(this); }

TrelDOMNode::~TrelDOMNode() { XmlObjectFactory::getInstance()->noteDeleted(this); }
