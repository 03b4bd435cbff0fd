<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform" xmlns:n="urn:n">
<xsl:key name="k" match="e" use="@id"/>
<xsl:param name="p" select="2"/>
<xsl:template match="/r"><out><xsl:attribute name="n"><xsl:value-of select="count(key('k', $p))"/></xsl:attribute>
<xsl:element name="{name(*[1])}"><xsl:number value="3" format="i"/></xsl:element><xsl:comment>c</xsl:comment>
<xsl:processing-instruction name="p">d</xsl:processing-instruction><xsl:copy-of select="n:n"/>
<xsl:call-template name="t"><xsl:with-param name="d" select="3"/></xsl:call-template></out></xsl:template>
<xsl:template name="t"><xsl:param name="d"/><xsl:if test="$d &gt; 0"><x/><xsl:call-template name="t"><xsl:with-param name="d" select="$d - 1"/></xsl:call-template></xsl:if></xsl:template>
</xsl:stylesheet>
