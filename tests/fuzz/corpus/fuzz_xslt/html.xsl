<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="html" indent="yes" encoding="UTF-16"/>
<xsl:template match="/"><html><body><xsl:apply-templates/></body></html></xsl:template>
<xsl:template match="e"><p><xsl:value-of select="translate(., 'o', '0')"/></p></xsl:template>
</xsl:stylesheet>
