<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="text"/>
<xsl:template match="/"><xsl:for-each select="//e"><xsl:sort select="@id" data-type="number" order="descending"/><xsl:value-of select="concat(@id, ':', .)"/>,</xsl:for-each></xsl:template>
</xsl:stylesheet>
